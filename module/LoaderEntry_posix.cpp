// An ELF shared object has no DllMain: a constructor and a destructor run
// the same attach and detach when the library is loaded and unloaded.
// Neither can refuse the load, so a failed attach leaves the library loaded
// without its registration, as a failed allocation does.

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

__attribute__((constructor)) void AttachProcess() {
  ModuleEntry(ProcessFramework(), LibraryRecord(), ModuleBase(),
              LoaderReason::kProcessAttach);
}

__attribute__((destructor)) void DetachProcess() {
  ModuleEntry(ProcessFramework(), LibraryRecord(), ModuleBase(),
              LoaderReason::kProcessDetach);
}

}  // namespace
