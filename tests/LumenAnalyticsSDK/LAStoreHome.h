// A home of the test's own for the client's key/value store: its data and settings
// folders point at a temporary folder and the shared store gets its two built-in plugins.
// Call once per test process, before the store is first used.
#pragma once
#include <cstdlib>
#include <memory>

#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAUserDefaultsStorePlugin.h"
#include "tests/support/TempDir.h"

namespace LumenAnalyticsSDK::testing {

inline void useTemporaryStoreHome() {
    static auto* home = new testing_support::TempDir();  // the store may write until exit
    setenv("XDG_DATA_HOME", (home->path() / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home->path() / "config").c_str(), 1);
    LAStoreManager::sharedInstance().registerStorePlugin(std::make_shared<LAFileStorePlugin>());
    LAStoreManager::sharedInstance().registerStorePlugin(std::make_shared<LAUserDefaultsStorePlugin>());
}

}  // namespace LumenAnalyticsSDK::testing
