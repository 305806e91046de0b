// Registration with the framework at load and unload, driven through a
// framework that records what it is asked and fails when told to.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleEntry.h"

namespace quorbel::module {
namespace {

class RecordingFramework final : public Framework {
 public:
  ModuleState* CurrentModuleState() override {
    calls.push_back("state");
    return stateMissing ? nullptr : &state;
  }
  int InitExtensionModule(ExtensionModuleRecord& record, void* instance) override {
    calls.push_back(std::string("init") + (instance == kInstance ? "(instance)" : "(?)"));
    initializedRecord = &record;
    return initResult;
  }
  void* Allocate(size_t size) override {
    calls.push_back(size == sizeof(Registration) ? "allocate(registration)" : "allocate(?)");
    return allocationFails ? nullptr : static_cast<void*>(&memory);
  }
  void ConstructRegistration(void* object, ExtensionModuleRecord& record, bool isSystemModule) override {
    calls.push_back(std::string("construct") + (isSystemModule ? "(true)" : "(false)"));
    EXPECT_EQ(object, &memory);
    EXPECT_EQ(&record, initializedRecord) << "constructed on another record";
  }
  void TermExtensionModule(ExtensionModuleRecord& record, bool everyModule) override {
    calls.push_back(std::string("term") + (everyModule ? "(true)" : "(false)"));
    endedRecord = &record;
  }

  static inline int instanceToken;
  static constexpr void* kInstance = &instanceToken;

  std::vector<std::string> calls;
  ModuleState state;
  bool stateMissing = false;
  int initResult = 1;
  bool allocationFails = false;
  ExtensionModuleRecord* initializedRecord = nullptr;
  ExtensionModuleRecord* endedRecord = nullptr;
  Registration memory{};
};

using Calls = std::vector<std::string>;
constexpr void* kInstance = RecordingFramework::kInstance;

TEST(ModuleRawStep, AtAttachTheFrameworkListsPassToTheirCompanions) {
  RecordingFramework framework;
  int first = 0, second = 0;
  framework.state.listHeads[0] = &first;
  framework.state.listHeads[1] = &second;
  EXPECT_EQ(HandOverModuleLists(framework, LoaderReason::kProcessAttach), 1);
  EXPECT_EQ(framework.calls, Calls{"state"});
  EXPECT_EQ(framework.state.companions[0], &first);
  EXPECT_EQ(framework.state.companions[1], &second);
  EXPECT_EQ(framework.state.listHeads[0], nullptr);
  EXPECT_EQ(framework.state.listHeads[1], nullptr);
}

TEST(ModuleRawStep, NoFrameworkStateFailsTheAttach) {
  RecordingFramework framework;
  framework.stateMissing = true;
  EXPECT_EQ(HandOverModuleLists(framework, LoaderReason::kProcessAttach), 0);
}

TEST(ModuleRawStep, DoesNothingAtDetachOrForThreads) {
  for (const LoaderReason reason : {LoaderReason::kProcessDetach, LoaderReason::kThreadAttach,
                                    LoaderReason::kThreadDetach}) {
    RecordingFramework framework;
    int list = 0;
    framework.state.listHeads[0] = &list;
    EXPECT_EQ(HandOverModuleLists(framework, reason), 1);
    EXPECT_TRUE(framework.calls.empty());
    EXPECT_EQ(framework.state.listHeads[0], &list);
  }
}

TEST(ModuleMainStep, AttachRegistersUnlessTheRecordIsRefused) {
  const struct {
    const char* what;
    int initResult;
    bool allocationFails;
    int result;
    Calls calls;
  } cases[] = {
      {"registers", 1, false, 1, {"init(instance)", "allocate(registration)", "construct(false)"}},
      {"a refused record fails the load", 0, false, 0, {"init(instance)"}},
      {"no memory for the registration still loads", 1, true, 1,
       {"init(instance)", "allocate(registration)"}},
  };
  for (const auto& c : cases) {
    RecordingFramework framework;
    framework.initResult = c.initResult;
    framework.allocationFails = c.allocationFails;
    ExtensionModuleRecord record;
    EXPECT_EQ(UpdateRegistration(framework, record, kInstance, LoaderReason::kProcessAttach), c.result)
        << c.what;
    EXPECT_EQ(framework.calls, c.calls) << c.what;
  }
}

TEST(ModuleMainStep, DetachEndsTheRecordThatAttachInitialised) {
  RecordingFramework framework;
  ExtensionModuleRecord record;
  ASSERT_EQ(UpdateRegistration(framework, record, kInstance, LoaderReason::kProcessAttach), 1);
  framework.calls.clear();
  EXPECT_EQ(UpdateRegistration(framework, record, kInstance, LoaderReason::kProcessDetach), 1);
  EXPECT_EQ(framework.calls, Calls{"term(false)"});
  EXPECT_EQ(framework.endedRecord, &record);
}

TEST(ModuleMainStep, ThreadAttachAndDetachChangeNothing) {
  for (const LoaderReason reason : {LoaderReason::kThreadAttach, LoaderReason::kThreadDetach}) {
    RecordingFramework framework;
    framework.initResult = 0;  // would fail a process attach
    ExtensionModuleRecord record;
    EXPECT_EQ(UpdateRegistration(framework, record, kInstance, reason), 1);
    EXPECT_TRUE(framework.calls.empty());
  }
}

// The process's own framework layer: what it registers at attach it lets go
// of at detach, so loading and unloading the library leaks nothing.
TEST(ProcessFrameworkLayer, DetachReleasesWhatAttachRegistered) {
  ExtensionModuleRecord record;
  int instance = 0;
  ASSERT_EQ(HandOverModuleLists(ProcessFramework(), LoaderReason::kProcessAttach), 1);
  ASSERT_EQ(UpdateRegistration(ProcessFramework(), record, &instance, LoaderReason::kProcessAttach), 1);
  ASSERT_NE(record.registrations, nullptr);
  EXPECT_EQ(record.registrations->record, &record);
  EXPECT_FALSE(record.registrations->isSystemModule);
  EXPECT_EQ(record.instance, &instance);
  EXPECT_EQ(UpdateRegistration(ProcessFramework(), record, &instance, LoaderReason::kProcessDetach), 1);
  EXPECT_EQ(record.registrations, nullptr);
  EXPECT_FALSE(record.initialized);
}

// A loader may still call detach after a refused attach.
TEST(ProcessFrameworkLayer, RefusesAModuleWithoutAnInstanceAndDetachesSafely) {
  ExtensionModuleRecord record;
  EXPECT_EQ(UpdateRegistration(ProcessFramework(), record, nullptr, LoaderReason::kProcessAttach), 0);
  EXPECT_EQ(record.registrations, nullptr);
  EXPECT_EQ(UpdateRegistration(ProcessFramework(), record, nullptr, LoaderReason::kProcessDetach), 1);
  EXPECT_FALSE(record.initialized);
}

}  // namespace
}  // namespace quorbel::module
