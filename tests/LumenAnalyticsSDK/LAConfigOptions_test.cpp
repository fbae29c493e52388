// Options: defaults, the setters' clamps and the copy rule.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"

using namespace LumenAnalyticsSDK;
using platform::Value;

TEST(LAConfigOptionsTest, DefaultsOnlyFromTheServerURLInitialiser) {
    LAConfigOptions options("https://collect.example/sa?project=p", std::nullopt);
    EXPECT_EQ(options.serverURL(), "https://collect.example/sa?project=p");
    EXPECT_EQ(options.flushInterval(), 15000);
    EXPECT_EQ(options.flushBulkSize(), 100);
    EXPECT_EQ(options.maxCacheSize(), 10000);
    EXPECT_EQ(options.flushNetworkPolicy(), 8);
    EXPECT_EQ(options.eventSessionTimeout(), 300);
    EXPECT_EQ(options.minRequestHourInterval(), 24);
    EXPECT_EQ(options.maxRequestHourInterval(), 48);
    EXPECT_TRUE(options.enableAutoTrack && options.enableRemoteConfig && options.enableDeepLink &&
                options.enableChannelMatch);
    EXPECT_FALSE(options.enableLog() || options.disableSDK() || options.instantEvents());

    LAConfigOptions plain;
    EXPECT_EQ(plain.flushInterval(), 0);
    EXPECT_FALSE(plain.enableAutoTrack);
}

TEST(LAConfigOptionsTest, SettersClampOrIgnoreAsEachOptionSays) {
    struct Case {
        std::int64_t set, expected;
    };
    LAConfigOptions options("u", std::nullopt);
    auto check = [&](auto setter, auto getter, std::initializer_list<Case> cases) {
        for (const auto& c : cases) {
            (options.*setter)(c.set);
            EXPECT_EQ((options.*getter)(), c.expected) << "set " << c.set;
        }
    };
    check(&LAConfigOptions::setFlushInterval, &LAConfigOptions::flushInterval,
          {{1000, 5000}, {5000, 5000}, {6000, 6000}});
    check(&LAConfigOptions::setFlushBulkSize, &LAConfigOptions::flushBulkSize, {{50, 50}, {10, 50}, {51, 51}});
    check(&LAConfigOptions::setMaxCacheSize, &LAConfigOptions::maxCacheSize, {{500, 10000}, {20000, 20000}});
    check(&LAConfigOptions::setEventSessionTimeout, &LAConfigOptions::eventSessionTimeout,
          {{60, 60}, {0, 60}, {-5, 60}});
    check(&LAConfigOptions::setMinRequestHourInterval, &LAConfigOptions::minRequestHourInterval,
          {{200, 168}, {0, 168}, {3, 3}});
    check(&LAConfigOptions::setMaxRequestHourInterval, &LAConfigOptions::maxRequestHourInterval,
          {{-1, 48}, {169, 168}});

    options.setInstantEvents(Value(Value::Array{Value("pay")}));
    options.setInstantEvents(Value("not a list"));
    Value::Set set;
    set.insert(Value("x"));
    options.setInstantEvents(Value(set));
    EXPECT_EQ(options.instantEvents(), Value::Array{Value("pay")});

    options.ignorePageLeave(Value(Value::Array{Value("A"), Value("A"), Value("B")}));
    options.ignorePageLeave(Value("C"));
    EXPECT_EQ(options.ignoredPageLeaveClasses().members.size(), 2u);
}

TEST(LAConfigOptionsTest, CopyTakesTheOptionsInEffectAndSharesThePluginLists) {
    LAConfigOptions options("https://a.example/sa", Value::Dictionary{{"k", Value(1)}});
    options.setDebugMode(1);
    options.setFlushInterval(7000);
    options.setFlushBulkSize(70);
    options.setEnableLog(true);
    options.setEnableSession(true);
    options.setEventSessionTimeout(30);
    options.setInstantEvents(Value(Value::Array{Value("pay")}));
    options.setFlushNetworkPolicy(0xFF);
    options.enableHeatMap = true;

    auto copy = options.copy();
    EXPECT_EQ(copy->serverURL(), "https://a.example/sa");
    EXPECT_EQ(copy->launchOptions(), options.launchOptions());
    EXPECT_EQ(copy->flushInterval(), 7000);
    EXPECT_EQ(copy->flushBulkSize(), 70);
    EXPECT_EQ(copy->maxCacheSize(), 10000);
    EXPECT_EQ(copy->flushNetworkPolicy(), 0xFF);
    EXPECT_TRUE(copy->enableLog() && copy->enableSession());
    EXPECT_EQ(copy->eventSessionTimeout(), 30);
    EXPECT_EQ(copy->instantEvents(), options.instantEvents());
    EXPECT_EQ(copy->debugMode(), 0);  // never copied
    EXPECT_FALSE(copy->enableHeatMap || copy->enableAutoTrack);
    EXPECT_EQ(copy->minRequestHourInterval(), 0);

    // A plugin registered on the host's object after the copy is listed in the copy too.
    auto plugin = std::make_shared<LAPropertyPlugin>();
    options.registerPropertyPlugin(plugin);
    options.registerPropertyPlugin(std::make_shared<platform::Object>());  // not a property plugin
    ASSERT_EQ(copy->propertyPlugins().size(), 1u);
    EXPECT_EQ(copy->propertyPlugins().front(), plugin);
}

// The host sets options on its thread while the client's queues read them; under the
// thread sanitizer a plain field here is a reported race. Every read sees a value set.
TEST(LAConfigOptionsTest, SettingsChangedWhileOtherThreadsReadThem) {
    LAConfigOptions options("https://collect.example/sa", std::nullopt);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            options.setFlushInterval(i % 2 ? 5000 : 60000);
            options.setFlushBeforeEnterBackground(i % 2 != 0);
            options.setDebugMode(i % 3);
        }
        done = true;
    });
    bool onlySetValues = true;
    while (!done) {
        auto interval = options.flushInterval();
        onlySetValues = onlySetValues && (interval == 5000 || interval == 60000 || interval == 15000);
        onlySetValues = onlySetValues && options.debugMode() >= 0 && options.debugMode() < 3;
        (void)options.flushBeforeEnterBackground();
    }
    writer.join();
    EXPECT_TRUE(onlySetValues);
}
