#pragma once

#include <cstdint>

#include "Framework.h"

namespace quorbel::module {

// Why the loader calls the entry point.
enum class LoaderReason : uint32_t {
  kProcessDetach = 0,
  kProcessAttach = 1,
  kThreadAttach = 2,
  kThreadDetach = 3,
};

// The library's extension-module record: zero until the process attaches.
ExtensionModuleRecord& LibraryRecord();

// The two halves of the library's part in loading and unloading, which the
// platform's entry points call in this order:
//   attach: HandOverModuleLists, the static initialisers, UpdateRegistration;
//   detach: UpdateRegistration, the exit sequence, HandOverModuleLists.
// The library has no static initialisers, so that step stays empty; on
// POSIX systems the exit sequence unmaps the memory kept for long files
// (export/LongTrackBuffer_posix.cpp), and does nothing else.

// The framework's own step: at process attach, the lists the framework built
// while the module loaded pass to their companion slots and the heads start
// empty. Returns 0 if there is no framework state to work on; 1 otherwise.
// At any other time it does nothing.
int HandOverModuleLists(Framework& framework, LoaderReason reason);

// Registration at process attach: the record is initialised with the module's
// instance handle (0 if the framework refuses it, which fails the load), and
// a registration object is allocated and constructed on it (a failed
// allocation is passed over). Unregistration at process detach: the record
// is ended. Thread attach and detach change nothing. Returns 0 or 1.
int UpdateRegistration(Framework& framework, ExtensionModuleRecord& record,
                       void* instance, LoaderReason reason);

}  // namespace quorbel::module
