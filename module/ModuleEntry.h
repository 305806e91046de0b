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

// The loader's entry point, apart from the loader: registers the library
// with `framework` at process attach and unregisters it at process detach.
// Returns 0 when the attach fails (the framework refused the record), which
// fails the load; 1 otherwise. Thread attach and detach change nothing.
int ModuleEntry(Framework& framework, ExtensionModuleRecord& record,
                void* instance, LoaderReason reason);

}  // namespace quorbel::module
