// The library's part in loading and unloading, as the framework it registers
// with sees it: the process's own framework layer, with what a test needs
// around it (module lists of its own, an allocation that fails, another
// extension module registered beside the library).

#include <gtest/gtest.h>

#include "ModuleEntry.h"

namespace quorbel::module {
namespace {

class TestFramework final : public Framework {
 public:
  TestFramework() {
    ProcessFramework().InitExtensionModule(otherModule, &otherInstance);
    ConstructRegistration(ProcessFramework().Allocate(sizeof(Registration)), otherModule, false);
  }
  ~TestFramework() { ProcessFramework().TermExtensionModule(otherModule, false); }

  ModuleState* CurrentModuleState() override { return stateMissing ? nullptr : &state; }
  int InitExtensionModule(ExtensionModuleRecord& record, void* instance) override {
    return ProcessFramework().InitExtensionModule(record, instance);
  }
  void* Allocate(size_t size) override {
    allocatedSize = size;
    return allocationFails ? nullptr : ProcessFramework().Allocate(size);
  }
  // Memory too small for a registration would be overrun: this framework
  // builds none there, and the registration goes missing.
  void ConstructRegistration(void* memory, ExtensionModuleRecord& record,
                             bool isSystemModule) override {
    if (memory == nullptr || allocatedSize < sizeof(Registration)) return;
    ProcessFramework().ConstructRegistration(memory, record, isSystemModule);
  }
  void TermExtensionModule(ExtensionModuleRecord& record, bool everyModule) override {
    ProcessFramework().TermExtensionModule(record, everyModule);
    if (everyModule) ProcessFramework().TermExtensionModule(otherModule, everyModule);
  }

  ModuleState state;
  bool stateMissing = false;
  bool allocationFails = false;
  size_t allocatedSize = sizeof(Registration);
  int otherInstance = 0;
  ExtensionModuleRecord otherModule;
};

// A module loaded and unloaded as the platforms' entry points do it.
class Loading : public testing::Test {
 protected:
  int Load(void* instance) {
    if (HandOverModuleLists(framework, LoaderReason::kProcessAttach) == 0) return 0;
    return UpdateRegistration(framework, record, instance, LoaderReason::kProcessAttach);
  }
  int Unload(void* instance) {
    const int registration =
        UpdateRegistration(framework, record, instance, LoaderReason::kProcessDetach);
    return HandOverModuleLists(framework, LoaderReason::kProcessDetach) & registration;
  }

  TestFramework framework;
  ExtensionModuleRecord record;
  int instance = 0;
};

int RegistrationCount(const ExtensionModuleRecord& record) {
  int count = 0;
  for (const Registration* r = record.registrations; r != nullptr; r = r->next) ++count;
  return count;
}

TEST(ModuleLists, AtLoadTheListsBuiltSoFarPassToTheirCompanions) {
  TestFramework framework;
  int first = 0, second = 0;
  framework.state.listHeads[0] = &first;
  framework.state.listHeads[1] = &second;
  EXPECT_EQ(HandOverModuleLists(framework, LoaderReason::kProcessAttach), 1);
  EXPECT_EQ(framework.state.companions[0], &first);
  EXPECT_EQ(framework.state.companions[1], &second);
  EXPECT_EQ(framework.state.listHeads[0], nullptr);
  EXPECT_EQ(framework.state.listHeads[1], nullptr);
}

TEST(ModuleLists, AtUnloadAndForThreadsTheyStayPut) {
  for (const LoaderReason reason : {LoaderReason::kProcessDetach, LoaderReason::kThreadAttach,
                                    LoaderReason::kThreadDetach}) {
    TestFramework framework;
    int list = 0;
    framework.state.listHeads[0] = &list;
    EXPECT_EQ(HandOverModuleLists(framework, reason), 1);
    EXPECT_EQ(framework.state.listHeads[0], &list);
    EXPECT_EQ(framework.state.companions[0], nullptr);
  }
}

TEST_F(Loading, NoFrameworkStateFailsTheLoad) {
  framework.stateMissing = true;
  EXPECT_EQ(Load(&instance), 0);
  EXPECT_EQ(record.registrations, nullptr);
}

// Loaded and unloaded again and again, as a host that loads the library on
// demand does: one registration each time, and none left after.
TEST_F(Loading, UnloadLeavesTheFrameworkAsLoadFoundIt) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(Load(&instance), 1) << round;
    EXPECT_EQ(record.instance, &instance);
    ASSERT_EQ(RegistrationCount(record), 1) << round;
    EXPECT_EQ(record.registrations->record, &record);
    EXPECT_FALSE(record.registrations->isSystemModule);
    EXPECT_EQ(Unload(&instance), 1) << round;
    EXPECT_EQ(record.registrations, nullptr);
    EXPECT_FALSE(record.initialized);
    EXPECT_EQ(RegistrationCount(framework.otherModule), 1) << "another module's went too";
  }
}

// A loader may still unload a module whose load failed.
TEST_F(Loading, AModuleTheFrameworkRefusesFailsTheLoadAndUnloadsSafely) {
  EXPECT_EQ(Load(nullptr), 0);  // the framework takes no null instance
  EXPECT_EQ(record.registrations, nullptr);
  EXPECT_FALSE(record.initialized);
  EXPECT_EQ(Unload(nullptr), 1);
  EXPECT_EQ(RegistrationCount(framework.otherModule), 1);
}

TEST_F(Loading, NoMemoryForTheRegistrationStillLoads) {
  framework.allocationFails = true;
  EXPECT_EQ(Load(&instance), 1);
  EXPECT_TRUE(record.initialized);
  EXPECT_EQ(record.registrations, nullptr);
  EXPECT_EQ(Unload(&instance), 1);
  EXPECT_FALSE(record.initialized);
}

TEST_F(Loading, ThreadsComingAndGoingChangeNothing) {
  for (const LoaderReason reason : {LoaderReason::kThreadAttach, LoaderReason::kThreadDetach}) {
    EXPECT_EQ(UpdateRegistration(framework, record, &instance, reason), 1);
    EXPECT_EQ(record.registrations, nullptr) << "registered before the load";
  }
  ASSERT_EQ(Load(&instance), 1);
  const Registration* registered = record.registrations;
  for (const LoaderReason reason : {LoaderReason::kThreadAttach, LoaderReason::kThreadDetach}) {
    EXPECT_EQ(UpdateRegistration(framework, record, &instance, reason), 1);
    EXPECT_EQ(record.registrations, registered);
    EXPECT_EQ(RegistrationCount(record), 1);
  }
  EXPECT_EQ(Unload(&instance), 1);
}

}  // namespace
}  // namespace quorbel::module
