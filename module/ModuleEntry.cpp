#include "ModuleEntry.h"

namespace quorbel::module {
namespace {

// The framework's own first step at attach: the lists it built while the
// module loaded pass to their companion slots, and the heads start empty.
// At detach it has nothing to do.
int RawStep(Framework& framework, LoaderReason reason) {
  if (reason != LoaderReason::kProcessAttach) return 1;
  ModuleState* state = framework.CurrentModuleState();
  if (state == nullptr) return 0;
  for (int i = 0; i < 2; ++i) {
    state->companions[i] = state->listHeads[i];
    state->listHeads[i] = nullptr;
  }
  return 1;
}

// Registration at attach, unregistration at detach. A registration object
// that cannot be allocated is passed over: the library works without it.
int MainStep(Framework& framework, ExtensionModuleRecord& record,
             void* instance, LoaderReason reason) {
  switch (reason) {
    case LoaderReason::kProcessAttach: {
      if (framework.InitExtensionModule(record, instance) == 0) return 0;
      if (void* memory = framework.Allocate(sizeof(Registration))) {
        framework.ConstructRegistration(memory, record, false);
      }
      return 1;
    }
    case LoaderReason::kProcessDetach:
      framework.TermExtensionModule(record, false);
      return 1;
    default:
      return 1;
  }
}

}  // namespace

ExtensionModuleRecord& LibraryRecord() {
  static ExtensionModuleRecord record;
  return record;
}

// Attach: the raw step, then the main step. Detach: the main step, then the
// exit sequence, then the raw step. The library registers no functions to
// run at exit and has no static objects to destroy, so its exit sequence is
// empty; the C runtime runs it around this function in any case.
int ModuleEntry(Framework& framework, ExtensionModuleRecord& record,
                void* instance, LoaderReason reason) {
  switch (reason) {
    case LoaderReason::kProcessAttach:
      if (RawStep(framework, reason) == 0) return 0;
      return MainStep(framework, record, instance, reason);
    case LoaderReason::kProcessDetach: {
      const int result = MainStep(framework, record, instance, reason);
      return RawStep(framework, reason) == 0 ? 0 : result;
    }
    default:
      return MainStep(framework, record, instance, reason);
  }
}

}  // namespace quorbel::module
