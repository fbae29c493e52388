// Property plugins: registration rules, the priority-ordered merge, the bounded wait for
// asynchronous plugins, and the property step that writes the merge into an event.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "LALogCapture.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAProfileEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPluginManager.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LACustomPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAPropertyInterceptor.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"

namespace LumenAnalyticsSDK {
namespace {

using Dictionary = platform::Value::Dictionary;

// A plugin with a fixed priority and fixed properties; counts its preparations.
class FixedPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(FixedPlugin, LAPropertyPlugin)
public:
    FixedPlugin(std::uint64_t priority, Dictionary properties) : priority_(priority), fixed_(std::move(properties)) {}
    std::uint64_t priority() const override { return priority_; }
    std::optional<Dictionary> properties() override { return fixed_; }
    bool respondsToPrepare() const override { return true; }
    void prepare() override { ++prepared; }
    int prepared = 0;

private:
    std::uint64_t priority_;
    Dictionary fixed_;
};

class OtherPlugin : public FixedPlugin {
    PLATFORM_OBJECT(OtherPlugin, FixedPlugin)
public:
    using FixedPlugin::FixedPlugin;
};

// A plugin that delivers its properties later, when the test says so.
class LatePlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LatePlugin, LAPropertyPlugin)
public:
    bool respondsToPrepare() const override { return true; }
    std::optional<Dictionary> properties() override {
        if (onAsked) onAsked();
        return readyProperties();
    }
    std::function<void()> onAsked;
};

class SecondLatePlugin : public LatePlugin {
    PLATFORM_OBJECT(SecondLatePlugin, LatePlugin)
};

LATrackEventObject trackEvent(const std::string& name = "buy") { return LATrackEventObject(name); }

TEST(LAPropertyPluginManager, MergesByPriorityAndReplacesSameClass) {
    LAPropertyPluginManager manager;
    auto low = std::make_shared<FixedPlugin>(250, Dictionary{{"k", "low"}, {"low", 1}});
    auto high = std::make_shared<OtherPlugin>(750, Dictionary{{"k", "high"}});
    manager.registerPropertyPlugin(high);
    manager.registerPropertyPlugin(low);
    auto event = trackEvent();
    EXPECT_EQ(manager.propertiesWithFilter(event), (Dictionary{{"k", "high"}, {"low", 1}}));

    // A second plugin of the same class replaces the first; both were prepared.
    auto replacement = std::make_shared<FixedPlugin>(250, Dictionary{{"low", 2}});
    manager.registerPropertyPlugin(replacement);
    EXPECT_EQ(low->prepared, 1);
    EXPECT_EQ(replacement->prepared, 1);
    EXPECT_EQ(manager.propertiesWithFilter(event), (Dictionary{{"k", "high"}, {"low", 2}}));
    // Replaced in place at the end of the list; OtherPlugin, a subclass, is found first.
    EXPECT_EQ(manager.pluginsWithFilter(event).back(), replacement);
    EXPECT_EQ(manager.pluginsWithPluginClass(FixedPlugin::classObject()), high);
}

TEST(LAPropertyPluginManager, SuperPriorityIsKeptApartButAHigherOrdinaryStillWins) {
    LAPropertyPluginManager manager;
    auto super = std::make_shared<FixedPlugin>(LAPropertyPluginPrioritySuper, Dictionary{{"k", "super"}});
    auto aboveSuper = std::make_shared<OtherPlugin>(LAPropertyPluginPrioritySuper + 1, Dictionary{{"k", "above"}});
    manager.registerPropertyPlugin(super);
    manager.registerPropertyPlugin(aboveSuper);
    auto event = trackEvent();
    EXPECT_EQ(manager.superPluginsWithFilter(event).size(), 1u);
    EXPECT_EQ(manager.pluginsWithFilter(event).size(), 1u);
    EXPECT_EQ(manager.propertiesWithFilter(event), (Dictionary{{"k", "above"}}));

    manager.unregisterPropertyPluginWithPluginClass(FixedPlugin::classObject());
    // OtherPlugin derives from FixedPlugin: one entry per list goes.
    EXPECT_TRUE(manager.propertiesWithFilter(event).empty());
}

TEST(LAPropertyPluginManager, CustomPluginServesOneEvent) {
    LAPropertyPluginManager manager;
    manager.registerCustomPropertyPlugin(
        std::make_shared<LACustomPropertyPlugin>(platform::Value(Dictionary{{"a", 1}})));
    auto first = trackEvent();
    auto second = trackEvent();
    EXPECT_EQ(manager.propertiesWithFilter(first), (Dictionary{{"a", 1}, {"$lib_method", "code"}}));
    EXPECT_TRUE(manager.propertiesWithFilter(second).empty());
}

// A custom plugin asked about an event may call back into the manager.
class CallingBackPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(CallingBackPlugin, LAPropertyPlugin)
public:
    explicit CallingBackPlugin(LAPropertyPluginManager& manager) : manager_(manager) {}
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter&) const override {
        return manager_.pluginsWithPluginClass(FixedPlugin::classObject()) == nullptr;
    }
    std::optional<Dictionary> properties() override { return Dictionary{{"called", "back"}}; }

private:
    LAPropertyPluginManager& manager_;
};

TEST(LAPropertyPluginManager, APluginCallingBackIntoTheManagerDoesNotDeadlock) {
    static auto* manager = new LAPropertyPluginManager();  // outlives a thread stuck in it
    manager->registerCustomPropertyPlugin(std::make_shared<CallingBackPlugin>(*manager));
    auto merged = std::make_shared<std::promise<Dictionary>>();
    auto result = merged->get_future();
    std::thread([merged] {
        auto event = trackEvent();
        merged->set_value(manager->propertiesWithFilter(event));
    }).detach();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(result.get(), (Dictionary{{"called", "back"}}));
}

TEST(LAPropertyPluginManager, AsynchronousPluginIsAwaitedAtMostHalfASecond) {
    LAPropertyPluginManager manager;
    auto late = std::make_shared<LatePlugin>();
    manager.registerPropertyPlugin(late);
    auto event = trackEvent();

    // Delivered while the merge waits: part of this event.
    std::thread deliverer;
    late->onAsked = [&] { deliverer = std::thread([&] { late->readyWithProperties({{"async", 1}}); }); };
    EXPECT_EQ(manager.propertiesWithFilter(event), (Dictionary{{"async", 1}}));
    deliverer.join();
}

TEST(LAPropertyPluginManager, LateDeliveryNeitherChangesTheMergeNorEndsAnotherWait) {
    LAPropertyPluginManager manager;
    auto late = std::make_shared<LatePlugin>();
    manager.registerPropertyPlugin(late);
    auto event = trackEvent();

    auto started = std::chrono::steady_clock::now();
    auto first = manager.propertiesWithFilter(event);  // never delivered: the wait runs out
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(450));
    EXPECT_LT(waited, std::chrono::milliseconds(900));
    EXPECT_TRUE(first.empty());

    // In the next merge the first plugin's late signal arrives while the second one is
    // awaited; the second one's values must still be waited for.
    manager.unregisterPropertyPluginWithPluginClass(LatePlugin::classObject());
    auto oldHandlerOwner = late;  // keeps the first merge's handler alive
    auto second = std::make_shared<SecondLatePlugin>();
    manager.registerPropertyPlugin(second);
    std::thread deliverer;
    second->onAsked = [&] {
        deliverer = std::thread([&] {
            oldHandlerOwner->readyWithProperties({{"stale", 1}});
            std::this_thread::yield();
            second->readyWithProperties({{"fresh", 1}});
        });
    };
    EXPECT_EQ(manager.propertiesWithFilter(event), (Dictionary{{"fresh", 1}}));
    deliverer.join();
    EXPECT_TRUE(first.empty());
    // The late plugin kept its values for later events.
    EXPECT_EQ(oldHandlerOwner->properties(), (Dictionary{{"stale", 1}}));
}

TEST(LACustomPropertyPlugin, LibMethodRules) {
    struct Case {
        platform::Value method;
        bool profile;
        platform::Value expected;
    } cases[] = {
        {platform::Value(), false, "code"}, {"autoTrack", false, "autoTrack"},
        {"something", false, "code"},       {42, false, 42},  // a value of another kind stays
        {"something", true, "something"},                     // profile events keep what the caller gave
    };
    for (const auto& c : cases) {
        Dictionary given{{"x", 1}};
        if (!c.method.isNull()) given["$lib_method"] = c.method;
        LACustomPropertyPlugin plugin{platform::Value(given)};
        std::shared_ptr<LABaseEventObject> event =
            c.profile ? std::shared_ptr<LABaseEventObject>(std::make_shared<LAProfileEventObject>("profile_set"))
                      : std::make_shared<LATrackEventObject>("e");
        plugin.setFilter(event.get());
        auto properties = plugin.properties();
        ASSERT_TRUE(properties);
        EXPECT_EQ((*properties)["$lib_method"], c.expected) << c.method.stringValue() << " profile " << c.profile;
    }
}

// The property step against a manager of the test's own.
struct PropertyStep {
    LAPropertyPluginManager manager;
    LAPropertyInterceptor interceptor{manager};

    std::shared_ptr<LABaseEventObject> run(std::shared_ptr<LABaseEventObject> event, Dictionary properties,
                                           bool disableDeviceId = false) {
        auto data = std::make_shared<LAFlowData>();
        data->setEventObject(event);
        data->setProperties(std::move(properties));
        data->configOptions = std::make_shared<LAConfigOptions>("http://127.0.0.1/sa", std::nullopt);
        data->configOptions->setDisableDeviceId(disableDeviceId);
        bool completed = false;
        interceptor.processWithInput(data, [&](const LAFlowDataPtr& output) {
            completed = true;
            EXPECT_EQ(output->state, LAFlowStateContinue);
            EXPECT_FALSE(output->properties());
        });
        EXPECT_TRUE(completed);
        return event;
    }
};

TEST(LAPropertyInterceptor, TakesReservedKeysOutOntoTheEvent) {
    PropertyStep step;
    step.manager.registerPropertyPlugin(std::make_shared<FixedPlugin>(
        LAPropertyPluginPrioritySuper, Dictionary{{"$device_id", "dev"}, {"$anonymization_id", "ZGV2"}}));
    auto when = platform::Date::fromTimeIntervalSince1970(1700000000.5);
    auto event = step.run(std::make_shared<LATrackEventObject>("buy"),
                          {{"$project", "p1"}, {"$token", "t1"}, {"$time", when}, {"price", 3}});
    EXPECT_EQ(event->project, "p1");
    EXPECT_EQ(event->token, "t1");
    EXPECT_EQ(event->time(), 1700000000500);
    auto properties = event->properties();
    EXPECT_FALSE(properties.contains("$project"));
    EXPECT_FALSE(properties.contains("$time"));
    EXPECT_FALSE(properties.contains("$anonymization_id"));
    EXPECT_EQ(properties["$device_id"], "dev");
    EXPECT_EQ(properties["price"], 3);

    auto hidden = step.run(std::make_shared<LATrackEventObject>("buy"), {}, /*disableDeviceId=*/true);
    EXPECT_FALSE(hidden->properties().contains("$device_id"));
    EXPECT_EQ(hidden->properties()["$anonymization_id"], "ZGV2");
}

TEST(LAPropertyInterceptor, AnEarlyTimeIsRefusedAndLogged) {
    testing::LALogCapture log;
    PropertyStep step;
    auto event = std::make_shared<LATrackEventObject>("buy");
    auto created = event->time();
    step.run(event, {{"$time", platform::Date::fromTimeIntervalSince1970(1400000000)}});
    EXPECT_EQ(event->time(), created);
    int errors = 0;
    for (const auto& line : log.lines())
        if (line.message == "$time error 1400000000000, Please check the value") ++errors;
    EXPECT_EQ(errors, 1);
}

TEST(LAPropertyInterceptor, ScreenEventsGetTheirLibDetail) {
    PropertyStep step;
    auto withName = step.run(std::make_shared<LATrackEventObject>("$AppViewScreen"), {{"$screen_name", "Main"}});
    EXPECT_EQ(withName->lib->detail(), "Main######");
    auto without = step.run(std::make_shared<LATrackEventObject>("$AppViewScreen"), {});
    EXPECT_EQ(without->lib->detail(), "######");
    // The screen name as validated: a long one cut to the value limit.
    auto longName =
        step.run(std::make_shared<LATrackEventObject>("$AppClick"), {{"$screen_name", std::string(9000, 's')}});
    EXPECT_EQ(longName->lib->detail(), std::string(8191, 's') + "$######");
}

TEST(LAPropertyInterceptor, AMissingEventStopsTheTask) {
    PropertyStep step;
    auto data = std::make_shared<LAFlowData>();
    bool completed = false;
    step.interceptor.processWithInput(data, [&completed](const LAFlowDataPtr& output) {
        completed = true;
        EXPECT_EQ(output->state, LAFlowStateStopTask);
        EXPECT_EQ(output->message, "A memory problem has occurred, eventObject may be freed. End the track flow");
    });
    EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace LumenAnalyticsSDK
