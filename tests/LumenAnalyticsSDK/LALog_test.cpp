// The analytics log: what reaches loggers, the console line's form, the logger list,
// the file logger's level, and escaped Unicode in console lines.
#include <gtest/gtest.h>

#include <functional>
#include <gmock/gmock.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <regex>

#include "LumenAnalyticsSDK/Core/Utils/LAConsoleLogger.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileLogger.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LALoggerConsoleFormatter.h"
#include "LumenAnalyticsSDK/Core/Utils/NSString+LAUnicode.h"
#include "tests/support/TempDir.h"

using namespace LumenAnalyticsSDK;

namespace {

class CapturingLogger : public LAAbstractLogger {
public:
    static std::shared_ptr<CapturingLogger> create() { return std::shared_ptr<CapturingLogger>(new CapturingLogger()); }
    void logMessage(const LALogMessage& message) override {
        std::lock_guard lock(mutex);
        texts.push_back(message.message());
    }
    std::vector<std::string> seen() {
        std::lock_guard lock(mutex);
        return texts;
    }

private:
    CapturingLogger() : LAAbstractLogger(platform::DispatchQueue::create("test.capture")) {}
    std::mutex mutex;
    std::vector<std::string> texts;
};

// Every asynchronous message queued before it has reached the loggers once this returns.
void drain() { LALog::sharedLog().log(false, "drain", LALogLevelVerbose, "f", "g", 0, 0); }

class LALogTest : public testing::Test {
protected:
    void SetUp() override {
        LALog::sharedLog().removeAllLoggers();
        LALog::sharedLog().addLogger(logger);
    }
    void TearDown() override {
        LALog::sharedLog().setEnableLog(false);
        LALog::sharedLog().removeAllLoggers();
    }
    std::shared_ptr<CapturingLogger> logger = CapturingLogger::create();
};

}  // namespace

TEST_F(LALogTest, NothingReachesLoggersWhileOffAndMessagesWithoutSourceAreDropped) {
    LALog::sharedLog().setEnableLog(false);
    LALogError("while off");
    LALog::log(true, LALogLevelError, __FILE__, "f", 1, 0, "also off");
    drain();
    EXPECT_THAT(logger->seen(), testing::ElementsAre("drain"));

    LALog::sharedLog().setEnableLog(true);
    LALog::log(true, LALogLevelError, nullptr, "f", 1, 0, "no file");
    LALog::log(true, LALogLevelError, __FILE__, nullptr, 1, 0, "no function");
    LALogWarn("first");
    LALogInfo(std::string("second"));
    drain();
    EXPECT_THAT(logger->seen(), testing::ElementsAre("drain", "first", "second", "drain"));
}

TEST_F(LALogTest, LoggerListKeepsEachLoggerOnceAtItsFirstPlace) {
    auto a = CapturingLogger::create(), b = CapturingLogger::create();
    auto& log = LALog::sharedLog();
    log.removeAllLoggers();
    log.addLogger(a);
    log.addLogger(a);
    EXPECT_EQ(log.loggers().size(), 1u);
    log.removeAllLoggers();
    log.addLoggers({b});
    log.addLoggers({a, b, a});
    EXPECT_THAT(log.loggers(), testing::ElementsAre(LALoggerPtr(b), LALoggerPtr(a)));
    log.removeLoggers({b});
    EXPECT_THAT(log.loggers(), testing::ElementsAre(LALoggerPtr(a)));
}

TEST(LALogLineTest, ConsoleLineHasTimeMarkNameFileFunctionLineAndText) {
    LALogMessage error("oops", LALogLevelError, "/x/y/Alpha", "-[A b:]", 12, 0, platform::Date::now());
    std::string line = LALoggerConsoleFormatter().formattedLogMessage(error);
    std::regex form(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6}[+-]\d{4} ❌ Error  Alpha -\[A b:\] line:12 oops\n)");
    EXPECT_TRUE(std::regex_match(line, form)) << line;

    LALogMessage odd("x", 3, "/a/B.cpp", "f", 7, 0, platform::Date::now());
    std::string oddLine = LALoggerConsoleFormatter().formattedLogMessage(odd);
    EXPECT_NE(oddLine.find("    B.cpp f line:7 x\n"), std::string::npos) << oddLine;  // empty mark and name
}

// What `body` writes to standard error, read back from a file put in its place.
std::string standardErrorOf(const std::function<void()>& body) {
    testing_support::TempDir dir;
    auto captured = (dir / "stderr").string();
    fflush(stderr);
    int saved = dup(2);
    FILE* file = std::fopen(captured.c_str(), "w");
    dup2(fileno(file), 2);
    body();
    dup2(saved, 2);
    close(saved);
    std::fclose(file);
    return testing_support::readFile(captured);
}

TEST(LALogLineTest, ConsoleLoggerWritesTheLineToStandardErrorWithUnicodeEscapesRead) {
    LALogMessage message("name \\u4e2d\\u6587 ok", LALogLevelWarn, "/src/LAThing.cpp", "LAThing::run", 3, 0,
                         platform::Date::now());
    std::string written = standardErrorOf([&] { LAConsoleLogger::create()->logMessage(message); });
    EXPECT_TRUE(written.ends_with(" ⚠️ Warn  LAThing.cpp LAThing::run line:3 name 中文 ok\n")) << written;
}

// Lines on either side of the stack buffer's size reach standard error whole.
TEST(LALogLineTest, ConsoleLinesShortAndLongAreWrittenWhole) {
    auto logger = LAConsoleLogger::create();
    std::string expected;
    std::string written = standardErrorOf([&] {
        for (std::size_t length : {10u, 3990u, 4200u, 100000u}) {
            LALogMessage message(std::string(length, 'x'), LALogLevelInfo, "/src/A.cpp", "f", 1, 0,
                                 platform::Date::now());
            expected += LALoggerConsoleFormatter().formattedLogMessage(message);
            logger->logMessage(message);
        }
    });
    EXPECT_EQ(written, expected);
}

TEST(LALogLineTest, UnicodeEscapesBecomeCharactersAndOtherTextStays) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"plain text, no escapes", "plain text, no escapes"},
        {"\\u00e9t\\U00E9", "été"},
        {"quote \" kept \\u0041", "quote \" kept A"},
        {"pair \\ud83d\\ude00", "pair 😀"},
        {"line\\\\r\\\\nbreak \\u0042", "line\nbreak B"},
        {"ends with a backslash u0041\\", "ends with a backslash u0041\\"},  // does not read as one string
    };
    for (const auto& c : cases) EXPECT_EQ(lumen_unicodeString(c.text), c.expected) << c.text;
}

TEST(LAFileLoggerTest, WritesOnlyLevelsUpToItsOwnUnderDocuments) {
    testing_support::TempDir home;
    setenv("XDG_DOCUMENTS_DIR", home.path().c_str(), 1);
    auto logger = LAFileLogger::create();
    logger->setFileLogLevel(LALogLevelWarn);
    for (unsigned level : {LALogLevelError, LALogLevelWarn, LALogLevelInfo, LALogLevelDebug, LALogLevelVerbose})
        logger->logMessage(LALogMessage(LALogLevelName(level), level, "/s/F.cpp", "f", 1, 0, platform::Date::now()));
    std::string written = testing_support::readFile(home / "LALog/LALog.log");
    EXPECT_NE(written.find(" Error  F.cpp f line:1 Error\n"), std::string::npos) << written;
    EXPECT_NE(written.find(" Warn  F.cpp f line:1 Warn\n"), std::string::npos);
    EXPECT_EQ(written.find("Info"), std::string::npos);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2);
    unsetenv("XDG_DOCUMENTS_DIR");
}
