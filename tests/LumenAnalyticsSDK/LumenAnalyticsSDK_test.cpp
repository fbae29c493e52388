// The analytics client end to end: started against a local collector, its events go
// through the track flow into the SQLite file and out through the flush flow as the
// compressed form body the collector decodes. The client is made once per process, so
// the tests share it and its home, and each resets what it relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "LumenAnalyticsSDK/Core/LAAppLifecycle.h"
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Network/LAReachability.h"
#include "LumenAnalyticsSDK/Core/Utils/LABaseStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/NSString+LAHashCode.h"
#include "platform/appkit/NSApplication.h"
#include "platform/base/Data.h"
#include "platform/files/NotificationCenter.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/net/Reachability.h"
#include "platform/runloop/RunLoop.h"
#include "platform/webkit/WKUserContentController.h"
#include "platform/webkit/WKWebView.h"
#include "tests/LumenAnalyticsSDK/LAStoreHome.h"
#include "tests/support/Inflate.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TempDir.h"

namespace LumenAnalyticsSDK {
namespace {

using Dictionary = platform::Value::Dictionary;
using platform::Value;

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string gunzip(const platform::Data& data) {
    const auto out = testing_support::inflated(data, testing_support::gzipFormatOnly);
    EXPECT_TRUE(out) << "not one whole gzip stream";
    return out.value_or("");
}

// One upload as the collector reads it: the form fields and the decoded events.
struct Upload {
    std::map<std::string, std::string> fields;
    platform::Value::Array events;
};

Upload decodeUpload(const std::string& body) {
    Upload upload;
    std::size_t start = 0;
    while (start <= body.size()) {
        auto end = body.find('&', start);
        auto part = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        auto equals = part.find('=');
        upload.fields[part.substr(0, equals)] = equals == std::string::npos ? "" : part.substr(equals + 1);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    auto base64 = percentDecoded(upload.fields["data_list"]);
    EXPECT_EQ(upload.fields["crc"], std::to_string(lumen_hashCode(base64)));
    auto compressed = platform::Data::fromBase64(base64);
    EXPECT_TRUE(compressed);
    if (!compressed) return upload;
    auto json = platform::JSONSerialization::jsonObject(gunzip(*compressed));
    EXPECT_TRUE(json.isSuccess());
    if (json.isSuccess() && json.value().isArray()) upload.events = *json.value().asArray();
    return upload;
}

// The client is made once per process; each test gets a collector of its own, an empty
// store, no super properties, no login and a reachable network.
class LumenAnalyticsSDKTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (sdk_) return;  // a repeated run keeps the process's client and its home
        home_ = testing::homeRemovedAtTheEnd();
        setenv("XDG_DATA_HOME", (home_->path() / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_->path() / "config").c_str(), 1);
        useRoutes(true);
        LAConfigOptions options("http://127.0.0.1:9/sa?project=default", std::nullopt);
        options.setInstantEvents(Value(platform::Value::Array{"urgent"}));
        LumenAnalyticsSDK::startWithConfigOptions(options);
        sdk_ = LumenAnalyticsSDK::sharedInstance();
        // The lifecycle's first announcement (start) comes from the main queue.
        platform::RunLoop::runUntil([] { return sdk_->appLifecycle()->state() == LAAppLifecycleStateStart; }, 10);
    }

    void SetUp() override {
        status_ = 200;
        collector_ = new testing_support::LocalHTTPServer([](const testing_support::LocalHTTPServer::Received&) {
            return testing_support::LocalHTTPServer::Reply(status_.load(), "ok");
        });
        sdk_->setServerUrl(Value(collector_->url("/sa?project=default")));
        setReachable(true);
        platform::NSApplication::shared()->activateIgnoringOtherApps(true);
        ASSERT_TRUE(
            platform::RunLoop::runUntil([] { return sdk_->appLifecycle()->state() == LAAppLifecycleStateStart; }, 10));
        sdk_->clearSuperProperties();
        sdk_->logout();
        sdk_->deleteAll();
        settle();
    }

    // Whatever upload the test set going ends before its collector goes.
    void TearDown() override {
        status_ = 200;
        flush();
        delete collector_;
        collector_ = nullptr;
    }

    // A route table with a default route, or an empty one.
    static void useRoutes(bool reachable) {
        platform::NetworkRoutes::setSource([reachable] {
            std::vector<platform::NetworkRoute> routes;
            if (reachable) {
                platform::NetworkRoute route;
                route.hasGateway = true;
                route.interface = "eth0";
                routes.push_back(route);
            }
            return routes;
        });
    }
    static void setReachable(bool reachable) {
        useRoutes(reachable);
        platform::RunLoop::runUntil(
            [reachable] { return LAReachability::sharedInstance()->isReachable() == reachable; }, 10);
    }

    // Flushes and waits for both rounds.
    static void flush() {
        std::atomic<bool> done{false};
        sdk_->flushAllEventRecordsWithCompletion([&] { done = true; });
        ASSERT_TRUE(platform::RunLoop::runUntil([&] { return done.load(); }, 30));
    }
    // Waits until every event tracked so far is in the store.
    static void settle() {
        sdk_->serialQueue()->sync([] {});
    }

    static std::vector<Upload> uploads() {
        std::vector<Upload> all;
        for (const auto& received : collector_->received()) all.push_back(decodeUpload(received.body));
        return all;
    }
    static std::vector<std::string> uploadedNames() {
        std::vector<std::string> names;
        for (const auto& upload : uploads())
            for (const auto& event : upload.events)
                names.push_back(event["event"].stringValue(event["type"].stringValue()));
        return names;
    }
    static int waitingRows() {
        auto output = testing_support::runCommand("sqlite3 '" + LAFileStorePlugin::filePath("message-v2") +
                                                  "' 'select count(*) from dataCache'");
        return std::atoi(output.c_str());
    }

    // Waits, at most `seconds`, until the serial queue has passed what was queued so far.
    static bool settledWithin(double seconds) {
        auto passed = std::make_shared<std::atomic<bool>>(false);
        sdk_->serialQueue()->async([passed] { *passed = true; });
        return platform::RunLoop::runUntil([passed] { return passed->load(); }, seconds);
    }
    static std::size_t longestRow() {
        auto output = testing_support::runCommand("sqlite3 '" + LAFileStorePlugin::filePath("message-v2") +
                                                  "' 'select max(length(content)) from dataCache'");
        return std::strtoul(output.c_str(), nullptr, 10);
    }

    static testing_support::TempDir* home_;
    static testing_support::LocalHTTPServer* collector_;
    static std::atomic<int> status_;
    static std::shared_ptr<LumenAnalyticsSDK> sdk_;
};
testing_support::TempDir* LumenAnalyticsSDKTest::home_ = nullptr;
testing_support::LocalHTTPServer* LumenAnalyticsSDKTest::collector_ = nullptr;
std::atomic<int> LumenAnalyticsSDKTest::status_{200};
std::shared_ptr<LumenAnalyticsSDK> LumenAnalyticsSDKTest::sdk_;

TEST_F(LumenAnalyticsSDKTest, TrackedEventsReachTheCollectorWithSuperProperties) {
    sdk_->registerSuperProperties({{"channel", "test"}});
    for (const char* name : {"first", "second", "third"}) sdk_->track(name, Dictionary{{"n", 1}});
    settle();
    EXPECT_EQ(waitingRows(), 3);
    flush();
    auto sent = uploads();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].fields["gzip"], "1");
    ASSERT_EQ(sent[0].events.size(), 3u);
    for (const auto& event : sent[0].events) {
        EXPECT_EQ(event["properties"]["channel"], Value("test"));
        EXPECT_EQ(event["properties"]["n"], Value(1));
    }
    EXPECT_EQ(waitingRows(), 0);
}

TEST_F(LumenAnalyticsSDKTest, ANotFoundKeepsTheEventsForTheNextFlush) {
    status_ = 404;
    sdk_->track("kept");
    flush();
    EXPECT_EQ(collector_->requestCount(), 1);
    EXPECT_EQ(waitingRows(), 1);
    status_ = 200;
    flush();
    EXPECT_EQ(uploadedNames(), (std::vector<std::string>{"kept", "kept"}));
    EXPECT_EQ(waitingRows(), 0);
}

TEST_F(LumenAnalyticsSDKTest, EventsTrackedWhileUnreachableWaitInTheStore) {
    setReachable(false);
    for (int i = 0; i < 5; ++i) sdk_->track("offline");
    settle();
    flush();
    EXPECT_EQ(collector_->requestCount(), 0);
    EXPECT_EQ(waitingRows(), 5);
    setReachable(true);
    flush();
    EXPECT_EQ(uploadedNames().size(), 5u);
    EXPECT_EQ(waitingRows(), 0);
}

TEST_F(LumenAnalyticsSDKTest, AnInstantEventGoesOutAtOnceWithItsFlag) {
    sdk_->track("urgent");
    ASSERT_TRUE(platform::RunLoop::runUntil([] { return collector_->requestCount() == 1; }, 30));
    auto body = collector_->received()[0].body;
    EXPECT_NE(body.find("&instant_event=true"), std::string::npos);
    auto sent = decodeUpload(body);
    ASSERT_EQ(sent.events.size(), 1u);
    EXPECT_EQ(sent.events[0]["event"], Value("urgent"));
}

TEST_F(LumenAnalyticsSDKTest, LifecycleStartsAndStopsTheFlushTimer) {
    ASSERT_TRUE(platform::RunLoop::runUntil([] { return sdk_->isFlushTimerRunning(); }, 10));
    sdk_->track("before background");
    auto app = platform::NSApplication::shared();
    app->activateIgnoringOtherApps(true);
    app->deactivate();  // the client flushes and stops its timer
    ASSERT_TRUE(platform::RunLoop::runUntil(
        [] { return !sdk_->isFlushTimerRunning() && collector_->requestCount() >= 1; }, 30));
    EXPECT_EQ(sdk_->appLifecycle()->state(), LAAppLifecycleStateEnd);
    app->activateIgnoringOtherApps(true);
    ASSERT_TRUE(platform::RunLoop::runUntil([] { return sdk_->isFlushTimerRunning(); }, 10));
}

TEST_F(LumenAnalyticsSDKTest, IdentityAndProfileOperationsProduceTheirEventTypes) {
    sdk_->login("user-1");
    sdk_->set("name", Value("Ada"));
    sdk_->append("tags", Value(platform::Value::Array{"a", "a", "b"}));
    sdk_->bind("phone", "123");
    settle();
    flush();
    // The sign-up's own flush may still be sending the others in its next pass.
    ASSERT_TRUE(platform::RunLoop::runUntil([] { return uploadedNames().size() == 4; }, 30));
    std::vector<std::string> types;
    platform::Value appended;
    for (const auto& upload : uploads())
        for (const auto& event : upload.events) {
            types.push_back(event["type"].stringValue());
            if (event["type"] == Value("profile_append")) appended = event["properties"]["tags"];
        }
    // The sign-up flushes at once, so its upload may arrive before or after the others'.
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<std::string>{"profile_append", "profile_set", "track_id_bind", "track_signup"}));
    EXPECT_EQ(appended.count(), 2u);
    EXPECT_EQ(sdk_->loginId(), "user-1");
}

TEST_F(LumenAnalyticsSDKTest, AStartAfterTheFirstChangesNothing) {
    LumenAnalyticsSDK::startWithConfigOptions(LAConfigOptions("http://127.0.0.1:9/other", std::nullopt));
    EXPECT_EQ(LumenAnalyticsSDK::sharedInstance(), sdk_);
    EXPECT_EQ(sdk_->serverUrl(), collector_->url("/sa?project=default"));
}

TEST_F(LumenAnalyticsSDKTest, AFlushIntervalBelowFiveSecondsBecomesFiveAndRestartsTheTimer) {
    sdk_->track("waiting");
    settle();
    sdk_->setFlushInterval(1000);
    EXPECT_EQ(sdk_->flushInterval(), 5000);
    EXPECT_TRUE(platform::RunLoop::runUntil([] { return uploadedNames().size() == 1; }, 30));  // flushed once
    EXPECT_TRUE(platform::RunLoop::runUntil([] { return sdk_->flushTimerInterval() == 5.0; }, 10));
    sdk_->setFlushInterval(15000);
    EXPECT_TRUE(platform::RunLoop::runUntil([] { return sdk_->flushTimerInterval() == 15.0; }, 10));
}

TEST_F(LumenAnalyticsSDKTest, SwitchingOffAndOnTwice) {
    for (int round = 1; round <= 2; ++round) {
        LumenAnalyticsSDK::disableSDK();
        EXPECT_EQ(LumenAnalyticsSDK::sharedInstance(), nullptr) << round;
        ASSERT_TRUE(platform::RunLoop::runUntil([] { return !sdk_->isFlushTimerRunning(); }, 10)) << round;
        LumenAnalyticsSDK::enableSDK();
        EXPECT_EQ(LumenAnalyticsSDK::sharedInstance(), sdk_) << round;
        ASSERT_TRUE(platform::RunLoop::runUntil([] { return sdk_->isFlushTimerRunning(); }, 10)) << round;
        sdk_->track("back");
        settle();
        flush();
    }
    // Each switch-off tracks its closing event and flushes it.
    ASSERT_TRUE(platform::RunLoop::runUntil([] { return uploadedNames().size() == 4; }, 30));
    auto names = uploadedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"$AppDataTrackingClose", "$AppDataTrackingClose", "back", "back"}));
}

// The track flow asks for the host's callback when the event's turn comes on the serial
// queue: an event tracked before the switch-off but reached after it, and one tracked while
// off, are not shown to the host.
TEST_F(LumenAnalyticsSDKTest, TheHostsCallbackIsNotAskedWhileSwitchedOff) {
    auto asked = std::make_shared<std::vector<std::string>>();  // written on the serial queue, read once it settled
    sdk_->trackEventCallback([asked](const std::string& name, Dictionary&) {
        asked->push_back(name);
        return true;
    });
    settle();  // the client holds the callback
    std::mutex gate;
    std::unique_lock held(gate);
    sdk_->serialQueue()->async([&gate] { std::lock_guard wait(gate); });
    LumenAnalyticsSDK::disableSDK();  // tracks "$AppDataTrackingClose" first
    sdk_->track("while off");
    held.unlock();
    settle();
    LumenAnalyticsSDK::enableSDK();
    sdk_->track("back on");
    settle();
    sdk_->trackEventCallback([](const std::string&, Dictionary&) { return true; });
    settle();
    EXPECT_EQ(*asked, std::vector<std::string>{"back on"});
}

// The lifecycle's termination as the client hears it.
void announceTermination() {
    platform::NotificationCenter::defaultCenter()->post(
        kLAAppLifecycleStateDidChangeNotification, nullptr,
        {{kLAAppLifecycleNewStateKey, Value(std::uint64_t{LAAppLifecycleStateTerminate})},
         {kLAAppLifecycleOldStateKey, Value(std::uint64_t{LAAppLifecycleStateEnd})}});
}

TEST_F(LumenAnalyticsSDKTest, TerminationWaitsForQueuedEventsButNotForever) {
    for (int i = 0; i < 3; ++i) sdk_->track("last words");
    // A key/value write still queued (behind a slow one) reaches its file too.
    auto written = std::make_shared<std::atomic<bool>>(false);
    LABaseStoreManager::serialQueue()->async([written] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a slow disk
        *written = true;
    });
    announceTermination();
    EXPECT_EQ(waitingRows(), 3);  // in the store when the announcement returns
    EXPECT_TRUE(*written);

    // A queue stuck (on a hung file, say) keeps termination waiting two seconds at most.
    std::mutex gate;
    std::unique_lock stuck(gate);
    sdk_->serialQueue()->async([&gate] { std::lock_guard wait(gate); });
    auto started = std::chrono::steady_clock::now();
    announceTermination();
    auto waited = std::chrono::steady_clock::now() - started;
    stuck.unlock();
    settle();  // the stuck block is done with the gate
    EXPECT_GE(waited, std::chrono::milliseconds(1500));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

// Runs the main loop for `seconds`: time that has to pass, in the foreground or not.
void letTimePass(double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    platform::RunLoop::runUntil([until] { return std::chrono::steady_clock::now() >= until; }, seconds + 5);
}

TEST_F(LumenAnalyticsSDKTest, AnEventsDurationLeavesOutTimeInTheBackground) {
    auto app = platform::NSApplication::shared();
    auto timer = sdk_->trackTimerStart("watch");
    ASSERT_TRUE(timer);
    letTimePass(0.2);
    app->deactivate();
    ASSERT_TRUE(
        platform::RunLoop::runUntil([] { return sdk_->appLifecycle()->state() == LAAppLifecycleStateEnd; }, 10));
    letTimePass(0.8);
    app->activateIgnoringOtherApps(true);
    ASSERT_TRUE(
        platform::RunLoop::runUntil([] { return sdk_->appLifecycle()->state() == LAAppLifecycleStateStart; }, 10));
    letTimePass(0.2);
    sdk_->trackTimerEnd(*timer);
    settle();
    flush();
    std::optional<double> duration;
    for (const auto& upload : uploads())
        for (const auto& event : upload.events)
            if (event["event"] == Value("watch")) duration = event["properties"]["event_duration"].asDouble();
    ASSERT_TRUE(duration);
    EXPECT_GE(*duration, 0.35);
    EXPECT_LT(*duration, 0.9);  // the 0.8 s in the background are not counted
}

// A page's message to the bridge's handler, as a web view delivers it.
TEST_F(LumenAnalyticsSDKTest, AWebPagesMessageGoesThroughTheFlowToTheCollector) {
    const std::string body =
        R"({"callType":"app_h5_track","data":{"type":"track","event":"page_view","lib":{"$lib":"js"},)"
        R"("properties":{"$url":"https://page.example/"}}})";
    sdk_->configOptions()->setEnableJavaScriptBridge(true);
    LAModuleManager::startWithConfigOptions(sdk_->configOptions());
    auto view = platform::WKWebView::create();
    view->loadHTMLString("", std::nullopt);
    EXPECT_TRUE(view->configuration()->userContentController()->postMessage("lumenNativeTracker", Value(body), view));
    sdk_->configOptions()->setEnableJavaScriptBridge(false);
    LAModuleManager::startWithConfigOptions(sdk_->configOptions());
    settle();
    settle();  // the page's event is handed to the flow from the serial queue
    flush();
    auto sent = uploads();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].events.size(), 1u);
    EXPECT_EQ(sent[0].events[0]["event"], Value("page_view"));
    EXPECT_EQ(sent[0].events[0]["_hybrid_h5"], Value(true));
    EXPECT_EQ(sent[0].events[0]["properties"]["$url"], Value("https://page.example/"));
}

// An array nested deep, from a caller or from a page, costs time and room in proportion to
// its size: its text is written once, not quoted again at every level.
TEST_F(LumenAnalyticsSDKTest, ADeeplyNestedPropertyIsWrittenOnceAndQuickly) {
    sdk_->configOptions()->setEnableJavaScriptBridge(true);
    LAModuleManager::startWithConfigOptions(sdk_->configOptions());
    auto view = platform::WKWebView::create();
    view->loadHTMLString("", std::nullopt);
    struct Case {
        int depth;
        bool fromPage;
    } cases[] = {{30, false}, {505, false}, {30, true}, {505, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + (c.fromPage ? " from a page" : " from track"));
        sdk_->deleteAll();
        // The stored element: the array inside the outermost one, printed once.
        const std::string inner = std::string(c.depth - 1, '[') + "\"x\"" + std::string(c.depth - 1, ']');
        const std::string json = "[" + inner + "]";
        if (c.fromPage) {
            const std::string body = R"({"callType":"app_h5_track","data":{"type":"track","event":"deep",)"
                                     R"("lib":{"$lib":"js"},"properties":{"nested":)" +
                                     json + "}}}";
            ASSERT_TRUE(
                view->configuration()->userContentController()->postMessage("lumenNativeTracker", Value(body), view));
        } else {
            Value nested("x");
            for (int level = 0; level < c.depth; ++level) nested = Value(Value::Array{nested});
            sdk_->track("deep", Dictionary{{"nested", nested}});
        }
        // The page's event reaches the flow from the serial queue: two passes.
        ASSERT_TRUE(settledWithin(10));
        ASSERT_TRUE(settledWithin(10));
        EXPECT_EQ(waitingRows(), 1);
        EXPECT_LT(longestRow(), 4000u);
        flush();
        auto sent = uploads();
        ASSERT_FALSE(sent.empty());
        ASSERT_EQ(sent.back().events.size(), 1u);
        EXPECT_EQ(sent.back().events[0]["properties"]["nested"], Value(Value::Array{Value(inner)}));
    }
    sdk_->configOptions()->setEnableJavaScriptBridge(false);
    LAModuleManager::startWithConfigOptions(sdk_->configOptions());
}

}  // namespace
}  // namespace LumenAnalyticsSDK
