// An ELF shared object has no DllMain: constructors and destructors run the
// same steps when the library is loaded and unloaded. Priority 101 runs
// first among constructors and last among destructors, so the raw step
// comes before the static initialisers at load and after everything else at
// unload. Neither can refuse the load: a failed attach leaves the library
// loaded without its registration, as a failed allocation does.

#include <dlfcn.h>

#include "ModuleEntry.h"

namespace {

using namespace quorbel::module;

// The module's load address stands for the instance handle.
void* ModuleBase() {
  Dl_info info;
  return ::dladdr(reinterpret_cast<void*>(&ModuleBase), &info) != 0
             ? info.dli_fbase
             : nullptr;
}

__attribute__((constructor(101))) void RawAttach() {
  RawStep(ProcessFramework(), LoaderReason::kProcessAttach);
}

__attribute__((constructor)) void MainAttach() {
  MainStep(ProcessFramework(), LibraryRecord(), ModuleBase(),
           LoaderReason::kProcessAttach);
}

__attribute__((destructor)) void MainDetach() {
  MainStep(ProcessFramework(), LibraryRecord(), ModuleBase(),
           LoaderReason::kProcessDetach);
}

__attribute__((destructor(101))) void RawDetach() {
  RawStep(ProcessFramework(), LoaderReason::kProcessDetach);
}

}  // namespace
