// Start-up from the launch arguments: the map, when the event client is configured and
// how, the analytics page view, and what a key left without a value skips (and what it
// does not: the update itself).
#include <mutex>

#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "flow_support.h"
#include "platform/appkit/NSApplication.h"
#include "updater/AppDelegate.h"
#include "updater/Common/Network/SignPlugin.h"

using namespace flow_test;
using Lanternfly_Updater::AppDelegate;
using Analytics = LumenAnalyticsSDK::LumenAnalyticsSDK;

namespace {
[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World);

// The events the running analytics client tracks from now on (none are stored), with "$title".
class TrackedEvents {
public:
    TrackedEvents() {
        auto analytics = Analytics::sharedInstance();
        if (!analytics) return;
        analytics->trackEventCallback([state = state_](const std::string& name, platform::Value::Dictionary& p) {
            auto title = p.count("$title") ? p.at("$title").stringValue() : std::string();
            std::lock_guard lock(state->mutex);
            state->seen.push_back(name + (title.empty() ? "" : " " + title));
            return false;
        });
    }
    // Everything tracked before a marker event, once the client's queue has reached it.
    std::vector<std::string> untilMarker() {
        auto analytics = Analytics::sharedInstance();
        if (!analytics) return {};
        analytics->track("flow_test_marker");
        std::vector<std::string> seen;
        EXPECT_TRUE(runMainLoopUntil([&] {
            std::lock_guard lock(state_->mutex);
            seen = state_->seen;
            return !seen.empty() && seen.back() == "flow_test_marker";
        }));
        if (!seen.empty()) seen.pop_back();
        return seen;
    }

private:
    struct State {
        std::mutex mutex;
        std::vector<std::string> seen;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace

TEST(LaunchArguments, FillTheMapAndConfigureTheClients) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::map<std::string, std::string> map;
        bool configured;
        std::vector<std::string> lines;  // "Level message…"
        std::vector<std::string> absentLines;
    };
    const std::vector<Case> cases = {
        {"pairs without host",
         {"u", "url", "U", "md5", "M"},
         {{"url", "U"}, {"md5", "M"}},
         false,
         {"Error 更新程序参数: [\"md5\": \"M\", \"url\": \"U\"]", "Emergency 初始化数据上报失败"},
         {"EventURL:"}},
        {"trailing key", {"u", "url", "U", "md5"}, {{"url", "U"}}, false, {}, {"更新程序参数", "初始化数据上报失败"}},
        {"nothing", {"u"}, {}, false, {"Error 更新程序参数: [:]", "Emergency 初始化数据上报失败"}, {}},
        {"host alone",
         {"u", "host", "http://H"},
         {{"host", "http://H"}},
         true,
         {"Error EventPath:/api/v1/event/report/batch", "Error EventURL:http://H"},
         {"初始化数据上报失败"}},
        {"a repeated key keeps the later value", {"u", "url", "A", "url", "B"}, {{"url", "B"}}, false, {}, {}},
    };
    // Started first, so that each case's events can be watched from its start; start-up's
    // own start then finds it running.
    Analytics::startWithConfigOptions(
        LumenAnalyticsSDK::LAConfigOptions(Lanternfly_Updater::analyticsServerURL(), std::nullopt));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto delegate = std::make_shared<AppDelegate>();
        platform::NSApplication::shared()->setDelegate(delegate);
        auto events = std::make_shared<RecordingClient>();
        Lanternfly_Updater::setEventClient(events);
        World::get().lines->reset();
        TrackedEvents tracked;

        Lanternfly_Updater::setupApp(c.arguments);
        EXPECT_EQ(delegate->appArgs, c.map);
        EXPECT_EQ(delegate->initTallock, c.configured);
        EXPECT_EQ(events->config.has_value(), c.configured);
        for (const auto& line : c.lines) {
            const auto blank = line.find(' ');
            EXPECT_TRUE(World::get().loggedAt(line.substr(0, blank), line.substr(blank + 1)))
                << line << "\n"
                << World::get().allLines();
        }
        for (const auto& line : c.absentLines) EXPECT_FALSE(World::get().logged(line)) << line;
        // Start-up ends with the page view, unless a trailing key ended it early.
        const bool complete = c.arguments.size() % 2 == 1;
        EXPECT_EQ(tracked.untilMarker(),
                  complete ? std::vector<std::string>{"$AppViewScreen upgrade_page"} : std::vector<std::string>{});
        if (c.configured) {
            const auto& config = *events->config;
            EXPECT_EQ(config.ostrelURL, "http://H");
            EXPECT_EQ(config.path, "/api/v1/event/report/batch");
            EXPECT_EQ(config.logCapacity, 1);
            EXPECT_EQ(config.retryTimeInterval, 2.0);
            ASSERT_EQ(config.requestPlugins.size(), 1u);
            EXPECT_TRUE(std::dynamic_pointer_cast<Lanternfly_Updater::SignPlugin>(config.requestPlugins[0]));
            EXPECT_EQ(config.getRequestHeader().size(), 11u);
            EXPECT_EQ(events->logLevel, 1);
        }
        Lanternfly_Updater::setEventClient(nullptr);
    }
    EXPECT_EQ(Lanternfly_Updater::analyticsServerURL(), "https://sa.example.test/sa?project=skyreach_prod");
    setenv("SKYREACH_ANALYTICS_SERVER", "http://127.0.0.1:9/", 1);
    EXPECT_EQ(Lanternfly_Updater::analyticsServerURL(), "http://127.0.0.1:9/sa?project=skyreach_prod");
    unsetenv("SKYREACH_ANALYTICS_SERVER");
}

// A trailing key ends start-up early, but the pairs before it make a whole work order: the
// update goes through, with nothing configured or reported (no event client, no analytics).
TEST(LaunchArguments, ACompleteOrderPlusATrailingKeyStillUpdates) {
    Install install("trailing-key");
    const auto zip = package(Package::good);
    auto arguments = install.arguments(World::get().url("/package/" + zip), md5Of(World::get().dir / "packages" / zip));
    arguments.push_back("userID");
    const bool analyticsBefore = Analytics::sharedInstance() != nullptr;
    TrackedEvents tracked;

    ASSERT_EQ(install.run(arguments), UpdaterStatus::complete) << World::get().allLines();
    ASSERT_TRUE(runMainLoopUntil([&] { return install.terminated; }, 10)) << World::get().allLines();
    EXPECT_TRUE(runMainLoopUntil([] { return fs::exists(World::get().dir / "started"); }, 10));
    EXPECT_EQ(readFile(install.appPath / "Contents/Resources/version"), "2");

    EXPECT_FALSE(install.delegate->initTallock);
    EXPECT_FALSE(install.events->config);
    EXPECT_TRUE(install.events->events.empty()) << install.events->names().size();
    EXPECT_EQ(install.events->flushes, 0);
    EXPECT_EQ(Analytics::sharedInstance() != nullptr, analyticsBefore);  // not started here
    // A client started by an earlier test in this process sees the flow's own events, but
    // never the page view of a start-up that ended at the trailing key.
    for (const auto& event : tracked.untilMarker()) EXPECT_EQ(event.rfind("$AppViewScreen", 0), std::string::npos);
    for (const char* line : {"更新程序参数", "初始化数据上报失败", "EventURL:"})
        EXPECT_FALSE(World::get().logged(line)) << line;
    EXPECT_TRUE(World::get().logged("安装更新成功-打开应用成功")) << World::get().allLines();
}
