// A home of the test's own for the client's key/value store: its data and settings
// folders point at a temporary folder and the shared store gets its two built-in plugins.
// Call once per test process, before the store is first used. Also the temporary homes
// the client writes to while the tests run, removed after the last one.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Utils/LABaseStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAUserDefaultsStorePlugin.h"
#include "tests/support/TempDir.h"

namespace LumenAnalyticsSDK::testing {

// Temporary folders the client and its store write to while the tests run. They are removed
// once the last test has ended, after the shared client's queue and the store's queue have
// run what they hold, so that nothing more is written into them.
class HomesRemovedAtTheEnd : public ::testing::Environment {
public:
    static std::vector<testing_support::TempDir*>& homes() {
        static auto* homes = new std::vector<testing_support::TempDir*>();
        return *homes;
    }
    void TearDown() override {
        if (auto sdk = ::LumenAnalyticsSDK::LumenAnalyticsSDK::sdkInstance()) sdk->serialQueue()->sync([] {});
        LABaseStoreManager::serialQueue()->sync([] {});
        for (auto* home : homes()) delete home;
        homes().clear();
    }
};
[[maybe_unused]] inline auto* const kHomesRemovedAtTheEnd =
    ::testing::AddGlobalTestEnvironment(new HomesRemovedAtTheEnd);

inline testing_support::TempDir* homeRemovedAtTheEnd() {
    HomesRemovedAtTheEnd::homes().push_back(new testing_support::TempDir());
    return HomesRemovedAtTheEnd::homes().back();
}

inline void useTemporaryStoreHome() {
    static auto* home = homeRemovedAtTheEnd();
    setenv("XDG_DATA_HOME", (home->path() / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home->path() / "config").c_str(), 1);
    LAStoreManager::sharedInstance().registerStorePlugin(std::make_shared<LAFileStorePlugin>());
    LAStoreManager::sharedInstance().registerStorePlugin(std::make_shared<LAUserDefaultsStorePlugin>());
}

}  // namespace LumenAnalyticsSDK::testing
