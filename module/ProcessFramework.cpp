#include <new>

#include "Framework.h"

namespace quorbel::module {
namespace {

// The framework layer of this process. Its registration objects come from
// the heap and go back to it when their record ends, so that a process that
// unloads the library leaks nothing.
class ProcessFrameworkLayer final : public Framework {
 public:
  ModuleState* CurrentModuleState() override { return &state_; }

  int InitExtensionModule(ExtensionModuleRecord& record,
                          void* instance) override {
    if (instance == nullptr) return 0;
    record.instance = instance;
    record.initialized = true;
    return 1;
  }

  void* Allocate(size_t size) override {
    return ::operator new(size, std::nothrow);
  }

  void ConstructRegistration(void* memory, ExtensionModuleRecord& record,
                             bool flag) override {
    record.registrations =
        new (memory) Registration{&record, flag, record.registrations};
  }

  void TermExtensionModule(ExtensionModuleRecord& record, bool) override {
    while (Registration* registration = record.registrations) {
      record.registrations = registration->next;
      registration->~Registration();
      ::operator delete(registration);
    }
    record.initialized = false;
  }

 private:
  ModuleState state_;
};

}  // namespace

Framework& ProcessFramework() {
  static ProcessFrameworkLayer framework;
  return framework;
}

}  // namespace quorbel::module
