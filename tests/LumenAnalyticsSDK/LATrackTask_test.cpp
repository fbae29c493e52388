// The track task's nodes: validation, the user-id correction of two plan events, the
// finished event's notification and record, the insert node's rule for uploading at
// once, and, with the client started, the host's callback, the serial-queue hand-off and
// when the host's dynamic super properties are built. The client runs against a real SQLite file and
// has no server URL, so nothing leaves the process.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAEventObjectFactory.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptorRegistry.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAEventResultInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAInsertRecordInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/LASerialQueueInterceptor.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "platform/files/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "tests/LumenAnalyticsSDK/LALogCapture.h"
#include "tests/LumenAnalyticsSDK/LAStoreHome.h"
#include "tests/support/TempDir.h"

namespace {

using namespace LumenAnalyticsSDK;
using platform::Value;
using Dictionary = platform::Value::Dictionary;

LAInterceptorPtr node(const std::string& className, const Dictionary& param = {}) {
    return LAInterceptorRegistry::shared().interceptorWithClassName(className, param);
}

// Runs one node synchronously on the flow data.
void run(const LAInterceptorPtr& interceptor, const LAFlowDataPtr& data) {
    bool completed = false;
    interceptor->processWithInput(data, [&](const LAFlowDataPtr& output) {
        EXPECT_EQ(output, data);
        completed = true;
    });
    EXPECT_TRUE(completed);
}

LAFlowDataPtr flowData(const LABaseEventObjectPtr& event, std::optional<Dictionary> properties = std::nullopt) {
    auto data = std::make_shared<LAFlowData>();
    data->setEventObject(event);
    data->setProperties(std::move(properties));
    return data;
}

std::vector<std::string> storedNames(LAEventStore& store) {
    std::vector<std::string> names;
    for (const auto& record : store.selectRecords(1000, false).value_or(std::vector<LAEventRecordPtr>{}))
        names.push_back(record->event().at("event").stringValue());
    return names;
}

class LATrackTaskTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (sdk_) return;  // a repeated run keeps the process's client and its home
        home_ = LumenAnalyticsSDK::testing::homeRemovedAtTheEnd();
        setenv("XDG_DATA_HOME", (home_->path() / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_->path() / "config").c_str(), 1);
        ::LumenAnalyticsSDK::LumenAnalyticsSDK::startWithConfigOptions(LAConfigOptions("", std::nullopt));
        sdk_ = ::LumenAnalyticsSDK::LumenAnalyticsSDK::sharedInstance();
        store_ = LAEventStore::eventStoreWithFilePath(LAFileStorePlugin::filePath("message-v2"));
    }
    void SetUp() override {
        ASSERT_TRUE(sdk_);
        onSerialQueue([] { store_->deleteAllRecords(); });
    }
    // Runs `work` on the serial queue and waits for it while serving the main queue
    // (the client's work may need the main thread meanwhile).
    static void onSerialQueue(std::function<void()> work) {
        auto done = std::make_shared<std::atomic<bool>>(false);
        sdk_->serialQueue()->async([work = std::move(work), done] {
            work();
            *done = true;
        });
        ASSERT_TRUE(platform::RunLoop::runUntil([done] { return done->load(); }, 10));
    }
    // Waits until every event tracked so far is through the track flow.
    static void settle() {
        onSerialQueue([] {});
    }

    static testing_support::TempDir* home_;
    static std::shared_ptr<::LumenAnalyticsSDK::LumenAnalyticsSDK> sdk_;
    static LAEventStorePtr store_;
};
testing_support::TempDir* LATrackTaskTest::home_ = nullptr;
std::shared_ptr<::LumenAnalyticsSDK::LumenAnalyticsSDK> LATrackTaskTest::sdk_;
LAEventStorePtr LATrackTaskTest::store_;

TEST_F(LATrackTaskTest, ValidationReportsTheEventAndDropsOnlyInvalidProperties) {
    auto data = flowData(std::make_shared<LACustomEventObject>("9lives"), Dictionary{{"ok", 1}, {"9bad", 2}});
    run(node("LAEventValidateInterceptor"), data);
    EXPECT_TRUE(data->message);  // the engine logs it; the event goes on
    EXPECT_EQ(data->state, LAFlowStateContinue);
    EXPECT_EQ(data->properties(), (Dictionary{{"ok", 1}}));

    data = flowData(std::make_shared<LACustomEventObject>("fine"), Dictionary{{"ok", 1}});
    run(node("LAEventValidateInterceptor"), data);
    EXPECT_FALSE(data->message);
}

// A web page's own name and properties meet the cut and checks of a native event's.
TEST_F(LATrackTaskTest, AWebPagesOwnNameAndPropertiesAreCutLikeNativeOnes) {
    auto page = LAEventObjectFactory::eventObjectWithH5Event(
        {{"type", "track"},
         {"event", std::string(20000, 'e')},
         {"properties", Dictionary{{"big", std::string(50000, 'b')}, {"9bad", 1}, {"ok", 1}}}});
    run(node("LAEventValidateInterceptor"), flowData(page));
    EXPECT_EQ(*page->eventId, std::string(8191, 'e') + "$");
    EXPECT_EQ(page->properties(), (Dictionary{{"big", std::string(8191, 'b') + "$"}, {"ok", 1}}));
}

TEST_F(LATrackTaskTest, PlanEventsMoveTheirOwnIdPropertiesOntoTheEvent) {
    struct Case {
        const char* event;
        Dictionary properties;
        std::optional<std::string> loginId, distinctId, anonymousId;
        Dictionary left;
    } cases[] = {
        {"$PlanPopupDisplay", {{"sf_loginId", "u1"}, {"x", 1}}, "u1", std::nullopt, std::nullopt, {{"x", 1}}},
        {"$ABTestTrigger",
         {{"sab_loginId", "l"}, {"sab_distinctId", "d"}, {"sab_anonymousId", "a"}},
         "l",
         "d",
         "a",
         {}},
        // Each event only takes its own prefix; other events are left alone.
        {"$ABTestTrigger", {{"sf_loginId", "u1"}}, std::nullopt, std::nullopt, std::nullopt, {{"sf_loginId", "u1"}}},
        {"other", {{"sf_loginId", "u1"}}, std::nullopt, std::nullopt, std::nullopt, {{"sf_loginId", "u1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        auto event = std::make_shared<LACustomEventObject>(c.event);
        auto data = flowData(event, c.properties);
        run(node("LACorrectUserIdInterceptor"), data);
        EXPECT_EQ(event->loginId, c.loginId);
        EXPECT_EQ(event->distinctId, c.distinctId);
        EXPECT_EQ(event->anonymousId, c.anonymousId);
        EXPECT_EQ(data->properties(), c.left);
    }
}

TEST_F(LATrackTaskTest, TheResultIsAnnouncedAndAWebPagesVisualNameIsNotStored) {
    std::vector<platform::Notification> posted;
    auto observe = [&](const char* name) {
        return platform::NotificationCenter::defaultCenter()->addObserver(
            std::string(name), nullptr, nullptr, [&](const platform::Notification& n) { posted.push_back(n); });
    };
    auto native = observe(LumenAnalyticsTrackEventNotification);
    auto fromPage = observe(LumenAnalyticsTrackEventFromH5Notification);

    auto event = std::make_shared<LACustomEventObject>("page");
    event->setHybridH5(true);
    event->isInstantEvent = true;
    event->setProperties({{"lumen_web_visual_eventName", "v"}, {"a", 1}});
    auto data = flowData(event);
    run(node("LAEventResultInterceptor"), data);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].name, LumenAnalyticsTrackEventFromH5Notification);
    EXPECT_TRUE(posted[0].userInfo.at("properties").contains("lumen_web_visual_eventName"));
    const auto record = data->record();
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->event().at("properties").contains("lumen_web_visual_eventName"));
    EXPECT_EQ(record->event().at("properties")["a"], Value(1));
    EXPECT_TRUE(record->isInstantEvent());

    run(node("LAEventResultInterceptor"), flowData(std::make_shared<LACustomEventObject>("native")));
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].name, LumenAnalyticsTrackEventNotification);
    platform::NotificationCenter::defaultCenter()->removeObserver(native);
    platform::NotificationCenter::defaultCenter()->removeObserver(fromPage);
}

TEST_F(LATrackTaskTest, InsertStoresTheRecordAndUploadsAtOnceOnlyWhenTheRuleSays) {
    auto insert = node("LAInsertRecordInterceptor", {{"database_name", "insert-rule"}});
    auto store = std::dynamic_pointer_cast<LAInsertRecordInterceptor>(insert)->eventStore;
    ASSERT_EQ(store, LAEventStore::eventStoreWithFilePath(LAFileStorePlugin::filePath("insert-rule")));
    auto options = std::make_shared<LAConfigOptions>("http://collector", std::nullopt);
    options->setFlushBulkSize(50);
    struct Case {
        const char* what;
        int waitingBefore;
        bool signUp, debug, instant;
        bool goesOn;
    } cases[] = {
        {"an ordinary event", 0, false, false, false, false},
        {"50 waiting with it: not more than the bulk size", 49, false, false, false, false},
        {"51 waiting with it", 50, false, false, false, true},
        {"a sign-up", 0, true, false, false, true},
        {"debug mode", 0, false, true, false, true},
        {"an instant event", 0, false, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store->deleteAllRecords();
        for (int i = 0; i < c.waitingBefore; ++i)
            store->insertRecord(std::make_shared<LAEventRecord>(Dictionary{{"event", "old"}}, "POST"));
        options->setDebugMode(c.debug ? 1 : 0);
        LABaseEventObjectPtr event = c.signUp ? LABaseEventObjectPtr(std::make_shared<LASignUpEventObject>("$SignUp"))
                                              : std::make_shared<LACustomEventObject>("new");
        event->isInstantEvent = c.instant;
        auto data = flowData(event);
        data->configOptions = options;
        data->setRecord(std::make_shared<LAEventRecord>(Dictionary{{"event", "new"}}, "POST"));
        run(insert, data);
        EXPECT_EQ(store->count(), static_cast<std::uint64_t>(c.waitingBefore + 1));
        EXPECT_EQ(data->state, c.goesOn ? LAFlowStateContinue : LAFlowStateStopFlow);
    }
}

TEST_F(LATrackTaskTest, TheHostsCallbackCanChangeOrDropAnEvent) {
    sdk_->trackEventCallback([](const std::string& name, Dictionary& properties) {
        properties["checked"] = Value(true);
        return name != "dropped";
    });
    ::LumenAnalyticsSDK::testing::LALogCapture log;
    sdk_->track("dropped");
    sdk_->track("kept");
    settle();
    sdk_->trackEventCallback(nullptr);

    EXPECT_EQ(storedNames(*store_), std::vector<std::string>{"kept"});
    const auto records = store_->selectRecords(10, false).value_or(std::vector<LAEventRecordPtr>{});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->event().at("properties")["checked"], Value(true));
    int dropLines = 0;
    for (const auto& line : log.lines())
        dropLines +=
            line.level == LALogLevelDebug && line.message == "\n【track event】: dropped can not insert database.";
    EXPECT_EQ(dropLines, 1);
}

// The data of a run the client's flow manager started: it carries the client's serial queue.
LAFlowDataPtr dataOfClientRun(const platform::DispatchQueuePtr& serialQueue) {
    auto data = std::make_shared<LAFlowData>();
    data->serialQueue = serialQueue;
    return data;
}

TEST_F(LATrackTaskTest, SerialQueueNodeHandsOverAsynchronouslyOrWaits) {
    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync);
        auto handOver = node("LASerialQueueInterceptor", {{"sync", sync ? 1 : 0}});
        EXPECT_EQ(std::dynamic_pointer_cast<LASerialQueueInterceptor>(handOver)->isSync, sync);
        std::promise<void> gate;  // holds the serial queue until the node has returned
        auto opened = gate.get_future().share();
        if (!sync) sdk_->serialQueue()->async([opened] { opened.wait(); });
        std::atomic<bool> onSerialQueue{false}, completed{false};
        handOver->processWithInput(dataOfClientRun(sdk_->serialQueue()), [&](const LAFlowDataPtr&) {
            onSerialQueue = LAIsCurrentQueue(sdk_->serialQueue());
            completed = true;
        });
        // Synchronously, the rest of the run is through when the node returns;
        // asynchronously it has not even started.
        EXPECT_EQ(completed.load(), sync);
        gate.set_value();
        settle();
        EXPECT_TRUE(completed);
        EXPECT_TRUE(onSerialQueue);
    }
    // Already on the serial queue, the run goes on inline.
    sdk_->serialQueue()->sync([&] {
        bool inline_ = false;
        node("LASerialQueueInterceptor", {{"sync", 1}})
            ->processWithInput(dataOfClientRun(sdk_->serialQueue()), [&](const LAFlowDataPtr&) { inline_ = true; });
        EXPECT_TRUE(inline_);
    });
    // A run without a client's queue goes on inline, on the caller's thread.
    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync);
        const auto caller = std::this_thread::get_id();
        std::thread::id ranOn;
        node("LASerialQueueInterceptor", {{"sync", sync ? 1 : 0}})
            ->processWithInput(dataOfClientRun(nullptr),
                               [&](const LAFlowDataPtr&) { ranOn = std::this_thread::get_id(); });
        EXPECT_EQ(ranOn, caller);
    }
}

TEST_F(LATrackTaskTest, DynamicSuperPropertiesAreBuiltBeforeTheHandOverOnly) {
    // The host's block runs while the tracking thread waits for it, never on the serial
    // queue: tracked from the serial queue itself, an event does without it.
    std::atomic<int> calls{0}, callsOnSerialQueue{0};
    sdk_->registerDynamicSuperProperties([&] {
        ++calls;
        if (LAIsCurrentQueue(sdk_->serialQueue())) ++callsOnSerialQueue;
        return Dictionary{{"dynamic", "yes"}};
    });
    sdk_->track("outside");
    EXPECT_EQ(calls.load(), 1);  // before track() returned
    onSerialQueue([] { sdk_->track("inside"); });
    settle();
    sdk_->registerDynamicSuperProperties(nullptr);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(callsOnSerialQueue.load(), 0);
    EXPECT_EQ(storedNames(*store_), (std::vector<std::string>{"outside", "inside"}));
    const auto records = store_->selectRecords(10, false).value_or(std::vector<LAEventRecordPtr>{});
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->event().at("properties")["dynamic"], Value("yes"));
}

}  // namespace
