// The updater's application information and its log file, each case in a fresh process
// with its own bundle, user defaults and Application Support folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/TempDir.h"

using testing_support::readFile;
using testing_support::runCommand;
using testing_support::TempDir;

namespace {

struct Environment {
    TempDir dir;

    // `info` and `defaults` are Python dictionary literals, written with plistlib.
    Environment(const std::string& info, const std::string& defaults) {
        std::filesystem::create_directories(dir / "Updater.app/Contents");
        std::filesystem::create_directories(dir / "config");
        python("plistlib.dump(" + info + ", open('" + (dir / "Updater.app/Contents/Info.plist").string() + "', 'wb'))");
        if (!defaults.empty()) {
            python("plistlib.dump(" + defaults + ", open('" + (dir / "config/com.skyreach.updater.plist").string() +
                   "', 'wb'))");
        }
    }
    static void python(const std::string& code) {
        int status = -1;
        runCommand("python3 -c \"import plistlib; " + code + "\"", &status);
        ASSERT_EQ(status, 0) << code;
    }
    std::string probe(const std::string& run = "1") {
        int status = -1;
        auto out = runCommand("SKYREACH_BUNDLE_PATH='" + (dir / "Updater.app").string() + "' XDG_CONFIG_HOME='" +
                                  (dir / "config").string() + "' XDG_DATA_HOME='" + (dir / "data").string() + "' '" +
                                  APP_INFO_PROBE + "' " + run + " 2>&1",
                              &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }
    std::string storedChannel() {
        return runCommand("python3 -c \"import plistlib; print(plistlib.load(open('" +
                          (dir / "config/com.skyreach.updater.plist").string() + "', 'rb')).get('channel'))\"");
    }
    std::filesystem::path logFile() { return dir / "data/com.skyreach.updater/Logs/Skyreach_Updater.log"; }
};

const std::string kInfo = "{'CFBundleIdentifier': 'com.skyreach.updater', 'CFBundleShortVersionString': '3.2.1', "
                          "'CFBundleVersion': '321', 'Channel': 'abc'}";

}  // namespace

TEST(AppInfo, ChannelComesFromUserDefaultsElseTheBundleWhichIsThenKept) {
    struct Case {
        const char* name;
        std::string info, defaults;
        const char* channel;
        const char* stored;
        const char* logText;
        bool movedAside = false;  // the settings file, unread, and the log names where it went
    };
    const Case cases[] = {
        {"empty stored channel", kInfo, "{'channel': ''}", "abc", "abc", "读取-更新器-包体渠道-abc"},
        {"stored channel wins", kInfo, "{'channel': 'store1'}", "store1", "store1", "读取-更新器-本地渠道-store1"},
        {"stored number is ignored", kInfo, "{'channel': 5}", "abc", "abc", "读取-更新器-包体渠道-abc"},
        {"nothing anywhere", "{'CFBundleIdentifier': 'com.skyreach.updater'}", "", "nochannel", "nochannel",
         "读取-更新器-包体渠道-nochannel"},
        {"stored channel among 20,000 small settings", kInfo,
         "dict({'k%d' % i: 'v' for i in range(20000)}, channel='store1')", "store1", "store1",
         "读取-更新器-本地渠道-store1"},
        {"stored channel in a file of 5 MiB", kInfo, "{'channel': 'store1', 'pad': 'x' * (5 << 20)}", "abc", "abc",
         "读取-更新器-包体渠道-abc", true},
    };
    for (const auto& c : cases) {
        Environment env(c.info, c.defaults);
        auto out = env.probe();
        EXPECT_NE(out.find(std::string("channel=") + c.channel + "\n"), std::string::npos) << c.name << "\n" << out;
        EXPECT_EQ(env.storedChannel(), std::string(c.stored) + "\n") << c.name;
        auto log = readFile(env.logFile());
        EXPECT_TRUE(std::regex_search(
            log, std::regex(std::string(R"(\[Info\] \[AppInfo\.cpp:\d+\] getChannel\(\) > )") + c.logText + "\n")))
            << c.name << "\n"
            << log;
        const std::string settings = (env.dir / "config/com.skyreach.updater.plist").string();
        std::smatch aside;
        EXPECT_EQ(std::regex_search(log, aside, std::regex("设置文件无效-已移开-" + settings + R"( \(.*\) -> (.*)\n)")),
                  c.movedAside)
            << c.name << "\n"
            << log;
        if (c.movedAside && !aside.empty()) {
            EXPECT_GT(std::filesystem::file_size(aside[1].str()), 5u << 20) << c.name;
        }
    }
}

TEST(AppInfo, VersionsFallBackToUnknown) {
    Environment complete(kInfo, "");
    auto out = complete.probe();
    EXPECT_NE(out.find("versionName=3.2.1\nversionCode=321\nbundleId=com.skyreach.updater\n"), std::string::npos)
        << out;

    Environment sparse("{'CFBundleIdentifier': 'com.skyreach.updater', 'CFBundleVersion': 7}", "");
    out = sparse.probe();
    EXPECT_NE(out.find("versionName=unknown\nversionCode=unknown\n"), std::string::npos) << out;
}

TEST(UpdaterLog, WritesInfoAndAboveToTheApplicationSupportLogAndAppendsEachRun) {
    Environment env(kInfo, "");
    // The system log (standard error) is present but at level none: it stays silent.
    EXPECT_EQ(env.probe("first").find("probe"), std::string::npos);
    env.probe("second");
    ASSERT_TRUE(std::filesystem::exists(env.logFile()));
    auto log = readFile(env.logFile());
    EXPECT_EQ(log.find("probe debug"), std::string::npos);
    auto first = log.find("> probe info first\n");
    auto marker = std::regex(R"(\n-- \*\* \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d) \*\* --\n)");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(log, found, marker)) << log;
    auto second = log.find("> probe info second\n");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, static_cast<std::size_t>(found.position(0)));
    EXPECT_GT(second, static_cast<std::size_t>(found.position(0)));
    EXPECT_NE(log.find("Scribe appending log to: file://" + env.logFile().string()), std::string::npos);
    // Lines carry level, file and line, and function, without the thread or the identifier.
    // The function is the compiler's own spelling: g++ writes "char**", clang "char **".
    EXPECT_TRUE(std::regex_search(
        log,
        std::regex(
            R"(\d\d:\d\d:\d\d\.\d{3} \[Info\] \[app_info_probe\.cpp:\d+\] int main\(int, char ?\*\*\) > probe info first)")))
        << log;
}
