// An ELF shared object has no DllMain: constructors and destructors run the
// same steps when the library is loaded and unloaded. Where the compiler
// takes constructor priorities, priority 101 runs first among constructors
// and last among destructors, so the lists are handed over before the static
// initialisers at load and after everything else at unload. Elsewhere one
// constructor and one destructor run both steps in order: the library has
// no static initialisers of its own to come between them, and its one other
// destructor, which unmaps the memory kept for long files, touches nothing
// they do.
// Neither can refuse the load: a failed attach leaves the library loaded
// without its registration, as a failed allocation does.

#include "QuorbelFeatures.h"

#if QUORBEL_HAVE_DLADDR
#include <dlfcn.h>
#endif

#include "ModuleEntry.h"

namespace {

using namespace quorbel::module;

// The module's load address stands for the instance handle. Without
// dladdr, an address inside the module does: what the framework needs is
// a handle that is the module's own and is not null.
void* ModuleBase() {
#if QUORBEL_HAVE_DLADDR
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&ModuleBase), &info) != 0) return info.dli_fbase;
  return nullptr;
#else
  return &LibraryRecord();
#endif
}

void RegisterAtLoad() {
  UpdateRegistration(ProcessFramework(), LibraryRecord(), ModuleBase(),
           LoaderReason::kProcessAttach);
}

void UnregisterAtUnload() {
  UpdateRegistration(ProcessFramework(), LibraryRecord(), ModuleBase(),
           LoaderReason::kProcessDetach);
}

#if QUORBEL_HAVE_CONSTRUCTOR_PRIORITY

__attribute__((constructor(101))) void HandOverListsAtLoad() {
  HandOverModuleLists(ProcessFramework(), LoaderReason::kProcessAttach);
}

__attribute__((constructor)) void Attach() { RegisterAtLoad(); }

__attribute__((destructor)) void Detach() { UnregisterAtUnload(); }

__attribute__((destructor(101))) void HandOverListsAtUnload() {
  HandOverModuleLists(ProcessFramework(), LoaderReason::kProcessDetach);
}

#else

__attribute__((constructor)) void Attach() {
  HandOverModuleLists(ProcessFramework(), LoaderReason::kProcessAttach);
  RegisterAtLoad();
}

__attribute__((destructor)) void Detach() {
  UnregisterAtUnload();
  HandOverModuleLists(ProcessFramework(), LoaderReason::kProcessDetach);
}

#endif

}  // namespace
