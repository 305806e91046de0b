#include "ModuleEntry.h"

namespace quorbel::module {
namespace {

// Constant-initialised, like the framework layer: the loader reaches it
// before any static initialiser would run.
ExtensionModuleRecord libraryRecord;

}  // namespace

ExtensionModuleRecord& LibraryRecord() { return libraryRecord; }

int HandOverModuleLists(Framework& framework, LoaderReason reason) {
  if (reason != LoaderReason::kProcessAttach) return 1;
  ModuleState* state = framework.CurrentModuleState();
  if (state == nullptr) return 0;
  for (int i = 0; i < 2; ++i) {
    state->companions[i] = state->listHeads[i];
    state->listHeads[i] = nullptr;
  }
  return 1;
}

int UpdateRegistration(Framework& framework, ExtensionModuleRecord& record,
                       void* instance, LoaderReason reason) {
  switch (reason) {
    case LoaderReason::kProcessAttach:
      if (framework.InitExtensionModule(record, instance) == 0) return 0;
      if (void* memory = framework.Allocate(sizeof(Registration))) {
        framework.ConstructRegistration(memory, record, false);
      }
      return 1;
    case LoaderReason::kProcessDetach:
      framework.TermExtensionModule(record, false);
      return 1;
    default:
      return 1;
  }
}

}  // namespace quorbel::module
