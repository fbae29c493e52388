// Start-up from the launch arguments: the map, when the event client is configured and
// how, and what a key left without a value skips.
#include "flow_support.h"
#include "platform/appkit/NSApplication.h"
#include "updater/AppDelegate.h"
#include "updater/Common/Network/SignPlugin.h"

using namespace flow_test;
using Lanternfly_Updater::AppDelegate;

namespace {
[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World(false));
}

TEST(LaunchArguments, FillTheMapAndConfigureTheClients) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::map<std::string, std::string> map;
        bool configured;
        std::vector<std::string> lines;
        std::vector<std::string> absentLines;
    };
    const std::vector<Case> cases = {
        {"pairs without host",
         {"u", "url", "U", "md5", "M"},
         {{"url", "U"}, {"md5", "M"}},
         false,
         {"更新程序参数: [\"md5\": \"M\", \"url\": \"U\"]", "初始化数据上报失败"},
         {"EventURL:"}},
        {"trailing key", {"u", "url", "U", "md5"}, {{"url", "U"}}, false, {}, {"更新程序参数", "初始化数据上报失败"}},
        {"nothing", {"u"}, {}, false, {"更新程序参数: [:]", "初始化数据上报失败"}, {}},
        {"host alone",
         {"u", "host", "http://H"},
         {{"host", "http://H"}},
         true,
         {"EventPath:/api/v1/event/report/batch", "EventURL:http://H"},
         {"初始化数据上报失败"}},
        {"a repeated key keeps the later value", {"u", "url", "A", "url", "B"}, {{"url", "B"}}, false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto delegate = std::make_shared<AppDelegate>();
        platform::NSApplication::shared()->setDelegate(delegate);
        auto events = std::make_shared<RecordingClient>();
        Lanternfly_Updater::setEventClient(events);
        World::get().lines->reset();

        Lanternfly_Updater::setupApp(c.arguments);
        EXPECT_EQ(delegate->appArgs, c.map);
        EXPECT_EQ(delegate->initTallock, c.configured);
        EXPECT_EQ(events->config.has_value(), c.configured);
        for (const auto& line : c.lines)
            EXPECT_TRUE(World::get().logged(line)) << line << "\n" << World::get().allLines();
        for (const auto& line : c.absentLines) EXPECT_FALSE(World::get().logged(line)) << line;
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
