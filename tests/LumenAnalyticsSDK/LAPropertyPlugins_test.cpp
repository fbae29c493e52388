// The built-in property plugins: which events each accepts, what it gives on this
// machine, and the referrer and tracker registries they stand on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

#include "LAStoreHome.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAProfileEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPluginManager.h"
#include "LumenAnalyticsSDK/Core/Builder/LASessionProperty.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LACarrierNamePropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LADeviceIDPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAFirstDayPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LANetworkInfoPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAPresetPropertyObject.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAPresetPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LASessionPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LASuperPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/LAIdentifier.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventTrackerPluginManager.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAReferrerManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAUserDefaultsStorePlugin.h"
#include "platform/foundation/TimeZone.h"

namespace LumenAnalyticsSDK {
namespace {

using Dictionary = platform::Value::Dictionary;
using platform::Value;

TEST(LAPresetPropertyPlugin, GivesThisMachinesFactsAndLeavesLibToWebPages) {
    LAPresetPropertyPlugin plugin("4.6.0");
    plugin.prepare();
    LATrackEventObject native("buy");
    plugin.setFilter(&native);
    auto properties = *plugin.properties();
    EXPECT_EQ(properties["$lib"], Value("macOS"));
    EXPECT_EQ(properties["$lib_version"], Value("4.6.0"));
    EXPECT_FALSE(properties["$model"].stringValue().empty());
    EXPECT_FALSE(properties["$os"].stringValue().empty());
    EXPECT_FALSE(properties["$os_version"].stringValue().empty());
    EXPECT_EQ(properties["$timezone_offset"], Value(platform::TimeZone::current().secondsFromGMT() / -60));
    EXPECT_TRUE(properties["$screen_width"].isInteger());

    LATrackEventObject web("buy");
    web.setHybridH5(true);
    plugin.setFilter(&web);
    auto webProperties = *plugin.properties();
    EXPECT_FALSE(webProperties.contains("$lib"));
    EXPECT_FALSE(webProperties.contains("$lib_version"));
    EXPECT_TRUE(webProperties.contains("$model"));
    EXPECT_FALSE(plugin.isMatchedWithFilter(LAProfileEventObject("profile_set")));
}

TEST(LAPresetPropertyObject, TimeZoneOffsetIsMinutesBehindGMT) {
    const char* saved = std::getenv("TZ");
    setenv("TZ", "Asia/Kolkata", 1);
    EXPECT_EQ(LAPresetPropertyObject::timeZoneOffset(), -330);
    saved ? setenv("TZ", saved, 1) : unsetenv("TZ");
}

TEST(LANetworkInfoPropertyPlugin, TypeAndPolicyBitAgree) {
    LANetworkInfoPropertyPlugin plugin;
    auto properties = *plugin.properties();
    bool wifi = properties["$network_type"] == Value("WIFI");
    EXPECT_EQ(properties["$wifi"], Value(wifi));
    EXPECT_EQ(plugin.currentNetworkTypeOptions(), wifi ? 8u : 0u);
}

class StoredPlugins : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::useTemporaryStoreHome(); }
};

TEST_F(StoredPlugins, SuperPropertiesReplaceKeysOfAnyCaseAndPersist) {
    LASuperPropertyPlugin plugin;
    plugin.prepare();
    plugin.clearSuperProperties();
    plugin.registerSuperProperties({{"Channel", "a"}, {"keep", 1}});
    plugin.registerSuperProperties({{"channel", "b"}});
    EXPECT_EQ(plugin.properties(), (Dictionary{{"channel", "b"}, {"keep", 1}}));

    LASuperPropertyPlugin reloaded;
    reloaded.prepare();
    EXPECT_EQ(reloaded.properties(), (Dictionary{{"channel", "b"}, {"keep", 1}}));
    reloaded.unregisterSuperProperty(std::string("keep"));
    EXPECT_EQ(reloaded.properties(), (Dictionary{{"channel", "b"}}));
}

TEST_F(StoredPlugins, FirstDayIsTodayOnAFreshStoreAndNotForSignUp) {
    LAStoreManager::sharedInstance().removeObjectForKey("first_day");
    LAFirstDayPropertyPlugin plugin(platform::DispatchQueue::create("test.firstDay"));
    plugin.prepare();
    EXPECT_EQ(plugin.properties(), (Dictionary{{"$is_first_day", true}}));
    EXPECT_FALSE(plugin.isMatchedWithFilter(LASignUpEventObject("$SignUp")));

    LAStoreManager::sharedInstance().setObject(Value("2001-01-01"), "first_day");
    LAFirstDayPropertyPlugin later;
    later.prepare();
    EXPECT_EQ(later.properties(), (Dictionary{{"$is_first_day", false}}));
}

// Through the manager's merge: track events carry the session id, profile events do not.
TEST_F(StoredPlugins, TheSessionIdGoesOnTrackEventsOnly) {
    auto session = std::make_shared<LASessionProperty>(300'000);
    LAPropertyPluginManager manager;
    manager.registerPropertyPlugin(LASessionPropertyPlugin::create(session));
    auto tracked = manager.propertiesWithFilter(LATrackEventObject("buy"));
    ASSERT_TRUE(tracked.contains("$event_session_id"));
    EXPECT_FALSE(tracked.at("$event_session_id").stringValue().empty());
    EXPECT_FALSE(manager.propertiesWithFilter(LAProfileEventObject("profile_set")).contains("$event_session_id"));
    LASessionProperty::removeSessionModel();
}

// The read queued at construction must not reach a plugin that is already gone.
TEST_F(StoredPlugins, AFirstDayPluginDroppedBeforeItsQueueRunsIsLeftAlone) {
    LAStoreManager::sharedInstance().removeObjectForKey("first_day");
    auto queue = platform::DispatchQueue::create("test.firstDay.dropped");
    std::mutex gate;
    std::unique_lock closed(gate);
    queue->async([&gate] { std::lock_guard wait(gate); });
    { LAFirstDayPropertyPlugin dropped(queue); }
    closed.unlock();
    queue->sync([] {});
    EXPECT_TRUE(LAStoreManager::sharedInstance().objectForKey("first_day").isNull());
}

TEST(LACarrierNamePropertyPlugin, NoCarrierKnownGivesNoCarrierProperty) {
    LACarrierNamePropertyPlugin plugin;
    EXPECT_EQ(plugin.properties(), Dictionary{});
}

TEST(LADeviceIDPropertyPlugin, HiddenDeviceIdIsBase64OfTheId) {
    LADeviceIDPropertyPlugin hidden;
    hidden.setDisableDeviceId(true);
    hidden.prepare();
    auto properties = *hidden.properties();
    ASSERT_TRUE(properties.contains("$anonymization_id"));
    EXPECT_FALSE(properties.contains("$device_id"));
    auto decoded = platform::Data::fromBase64(*properties["$anonymization_id"].asString());
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->isEmpty());
}

TEST(LAReferrerManager, TheNextScreenNamesThePreviousOne) {
    auto queue = platform::DispatchQueue::create("test.referrer");
    LAReferrerManager referrer(queue);
    auto first = referrer.propertiesWithURL("page/one", {{"$title", "One"}});
    EXPECT_FALSE(first.contains("$referrer"));
    auto second = referrer.propertiesWithURL("page/two", {{"$title", "Two"}});
    EXPECT_EQ(second["$referrer"], Value("page/one"));
    queue->sync([] {});
    EXPECT_EQ(referrer.referrerTitle(), "One");
    // What the page already carries is kept.
    auto third = referrer.propertiesWithURL("page/three", {{"$url", "own"}, {"$referrer", "mine"}});
    EXPECT_EQ(third["$url"], Value("own"));
    EXPECT_EQ(third["$referrer"], Value("mine"));

    referrer.clearReferrer();
    EXPECT_EQ(referrer.referrerURL(), "page/two");
    referrer.setIsClearReferrer(true);
    referrer.clearReferrer();
    EXPECT_EQ(referrer.referrerURL(), std::nullopt);
}

// The titles belong to the manager's queue: caching one from anywhere else stops there.
TEST(LAReferrerManagerDeathTest, CachingATitleOffItsQueueIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto queue = platform::DispatchQueue::create("test.referrer.confined");
    LAReferrerManager referrer(queue);
    queue->sync([&] { referrer.cacheReferrerTitle({{"$title", "One"}}); });
    EXPECT_EQ(referrer.currentTitle(), "One");
    EXPECT_DEATH(referrer.cacheReferrerTitle({{"$title", "Two"}}),
                 "expected to run on queue \"test.referrer.confined\"");
    auto other = platform::DispatchQueue::create("test.referrer.other");
    auto cacheTwo = [&] { referrer.cacheReferrerTitle({{"$title", "Two"}}); };
    EXPECT_DEATH(other->sync(cacheTwo), "expected to run on queue \"test.referrer.confined\"");
    EXPECT_EQ(referrer.currentTitle(), "One");
}

class CountingTracker : public LAEventTrackerPlugin {
    PLATFORM_OBJECT(CountingTracker, LAEventTrackerPlugin)
public:
    using LAEventTrackerPlugin::LAEventTrackerPlugin;
    bool respondsToInstall() const override { return true; }
    void install() override { ++installs; }
    void uninstall() override { ++uninstalls; }
    int installs = 0, uninstalls = 0;
};

TEST(LAEventTrackerPluginManager, SameTypeReplacesAndUninstallsOnce) {
    LAEventTrackerPluginManager manager;
    manager.enableAllPlugins();  // nothing registered: nothing happens
    auto first = std::make_shared<CountingTracker>("click");
    auto second = std::make_shared<CountingTracker>("click");
    manager.registerPlugin(first);
    manager.registerPlugin(first);
    EXPECT_EQ(first->installs, 1);
    manager.registerPlugin(second);
    EXPECT_EQ(first->uninstalls, 1);
    EXPECT_EQ(manager.pluginWithType("click"), second);
    manager.enableAllPlugins();
    EXPECT_TRUE(second->enable());
    manager.unregisterAllPlugins();
    EXPECT_EQ(second->uninstalls, 1);
    EXPECT_TRUE(manager.plugins().empty());
}

}  // namespace
}  // namespace LumenAnalyticsSDK
