#pragma once

#include <cstddef>

namespace quorbel::module {

// A small stand-in for the application framework that the library registers
// itself with while it is loaded. It holds what registration needs and no
// more: the framework's state for the module, the record of an extension
// module, an allocator, and the registration object.

// The framework's state for the current module: two lists that it builds up
// while the module loads, each head with a companion slot that takes the
// list over once loading is done.
struct ModuleState {
  void* listHeads[2] = {};
  void* companions[2] = {};
};

struct Registration;

// The framework's record of one extension module. It is zero at load; the
// framework's initialise and end operations work on it.
struct ExtensionModuleRecord {
  void* instance = nullptr;
  bool initialized = false;
  Registration* registrations = nullptr;  // owned by the framework
};

// The registration object: it ties an extension module's record into the
// framework. The library constructs it and the framework owns it after.
struct Registration {
  ExtensionModuleRecord* record;
  bool isSystemModule;  // the framework's own modules come after the others
  Registration* next;
};

// The framework operations that the library's attach and detach call on.
class Framework {
 public:
  // The framework's state for the current module; never null in practice.
  virtual ModuleState* CurrentModuleState() = 0;
  // Initialises `record` for the module `instance`. Returns 0 on failure.
  virtual int InitExtensionModule(ExtensionModuleRecord& record,
                                  void* instance) = 0;
  // Memory for a framework object, or null.
  virtual void* Allocate(size_t size) = 0;
  // Constructs a registration object in `memory` on `record`.
  virtual void ConstructRegistration(void* memory,
                                     ExtensionModuleRecord& record,
                                     bool isSystemModule) = 0;
  // Ends `record`: the framework lets go of everything registered on it,
  // and with `everyModule` of every other extension module's too.
  virtual void TermExtensionModule(ExtensionModuleRecord& record,
                                   bool everyModule) = 0;

 protected:
  ~Framework() = default;
};

// The framework of this process: the one the loader's entry point uses.
Framework& ProcessFramework();

}  // namespace quorbel::module
