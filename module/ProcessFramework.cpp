#include <cstdlib>
#include <new>

#include "Framework.h"

namespace quorbel::module {
namespace {

// The framework layer of this process. Its registration objects come from
// the C heap and go back to it when their record ends, so that a process
// that unloads the library leaks nothing. It is constant-initialised: the
// loader may use it before any static initialiser has run.
class ProcessFrameworkLayer final : public Framework {
 public:
  constexpr ProcessFrameworkLayer() = default;

  ModuleState* CurrentModuleState() override { return &state_; }

  int InitExtensionModule(ExtensionModuleRecord& record,
                          void* instance) override {
    if (instance == nullptr) return 0;
    record.instance = instance;
    record.initialized = true;
    return 1;
  }

  void* Allocate(size_t size) override { return std::malloc(size); }

  void ConstructRegistration(void* memory, ExtensionModuleRecord& record,
                             bool isSystemModule) override {
    record.registrations =
        new (memory) Registration{&record, isSystemModule, record.registrations};
  }

  // Safe on a record that was never initialised, as after a refused attach.
  // The library is the one extension module this layer knows: ending every
  // module ends its record alone.
  void TermExtensionModule(ExtensionModuleRecord& record, bool) override {
    while (Registration* registration = record.registrations) {
      record.registrations = registration->next;
      registration->~Registration();
      std::free(registration);
    }
    record.initialized = false;
  }

 private:
  ModuleState state_;
};

ProcessFrameworkLayer processFramework;

}  // namespace

Framework& ProcessFramework() { return processFramework; }

}  // namespace quorbel::module
