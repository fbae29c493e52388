// The logger and the line layout: which destinations get a line, and what the line reads.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <thread>

#include "logging/AppleSystemLogDestination.h"
#include "logging/FileDestination.h"
#include "logging/Scribe.h"
#include "logging/TestDestination.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/DateFormatter.h"
#include "tests/support/TempDir.h"

using namespace ::Scribe;
using Logger = ::Scribe::Scribe;

namespace {

// 2024-05-01 10:20:30.123 UTC
const platform::Date kDate = platform::Date::fromTimeIntervalSince1970(1714558830.123);

struct Fixture {
    ScribePtr logger = Logger::create("logger.id", false);
    std::shared_ptr<TestDestination> destination = TestDestination::create(nullptr, "test");

    Fixture() {
        auto formatter = std::make_shared<platform::DateFormatter>();
        formatter->setDateFormat("yyyy-MM-dd HH:mm:ss.SSS");
        formatter->setTimeZone(platform::TimeZone::gmt());
        logger->setDateFormatter(formatter);
        logger->add(destination);
    }
    void bare() {
        destination->setShowDate(false);
        destination->setShowLevel(false);
        destination->setShowFileName(false);
        destination->setShowLineNumber(false);
        destination->setShowFunctionName(false);
    }
};

LogDetails details(Level level, std::string message, std::string fileName = "/src/app/Main.cpp") {
    return LogDetails{level, kDate, std::move(message), "run()", std::move(fileName), 42, {}};
}

}  // namespace

TEST(LineFormat, PiecesInOrderAsTheirFlagsSay) {
    struct Case {
        bool date, level, identifier, file, line, function;
        const char* expected;
    };
    const Case cases[] = {
        {true, true, false, true, true, true, "2024-05-01 10:20:30.123 [Warning] [Main.cpp:42] run() > hello"},
        {false, false, false, false, false, false, "> hello"},
        {false, true, true, false, false, false, "[Warning] [logger.id] > hello"},
        {false, false, false, false, true, false, "[42] > hello"},
        {false, false, false, true, false, false, "[Main.cpp] > hello"},
        {true, false, false, false, false, true, "2024-05-01 10:20:30.123 run() > hello"},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.destination->setShowDate(c.date);
        f.destination->setShowLevel(c.level);
        f.destination->setShowLogIdentifier(c.identifier);
        f.destination->setShowFileName(c.file);
        f.destination->setShowLineNumber(c.line);
        f.destination->setShowFunctionName(c.function);
        f.destination->process(details(Level::warning, "hello"));
        ASSERT_EQ(f.destination->unexpectedLogMessages.size(), 1u) << c.expected;
        EXPECT_EQ(f.destination->unexpectedLogMessages[0], c.expected);
    }
}

TEST(LineFormat, LevelNamesComeFromDestinationThenOwnerThenBuiltInButNeverForInternalLines) {
    Fixture f;
    f.bare();
    f.logger->levelDescriptions[Level::error] = "OWNER";
    f.logger->levelDescriptions[Level::info] = "OWNER-INFO";
    f.destination->levelDescriptions[Level::error] = "MINE";
    f.destination->setShowLevel(true);
    f.destination->process(details(Level::error, "a"));
    f.destination->process(details(Level::info, "b"));
    f.destination->process(details(Level::debug, "c"));
    f.destination->processInternal(details(Level::error, "d"));
    EXPECT_EQ(f.destination->unexpectedLogMessages,
              (std::vector<std::string>{"[MINE] > a", "[OWNER-INFO] > b", "[Debug] > c", "[Error] > d"}));
}

TEST(LineFormat, ThreadPieceNamesMainThreadNamedThreadAndQueue) {
    Fixture f;
    f.bare();
    f.destination->setShowThreadName(true);
    f.destination->process(details(Level::info, "main"));
    std::thread named([&] {
        pthread_setname_np(pthread_self(), "worker-7");
        f.destination->process(details(Level::info, "named"));
    });
    named.join();
    auto queue = platform::DispatchQueue::create("com.example.logging-queue");
    // Submitted from the main thread: a synchronous call would run right here.
    queue->async([&] { f.destination->process(details(Level::info, "queued")); });
    queue->sync([] {});
    std::thread anonymous([&] { f.destination->process(details(Level::info, "anonymous")); });
    anonymous.join();

    const auto& lines = f.destination->unexpectedLogMessages;
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "[main] > main");
    EXPECT_EQ(lines[1], "[worker-7] > named");
    EXPECT_EQ(lines[2], "[com.example.logging-queue] > queued");
    EXPECT_TRUE(lines[3].starts_with("[0x")) << lines[3];
}

TEST(LineFormat, DefaultDateTextIsTheDefaultFormattersAcrossSecondsAndMilliseconds) {
    auto logger = Logger::create("dates", false);
    // In this order so that a cached second must be replaced, also going backwards.
    for (double t : {1714558830.0, 1714558830.999, 1714558831.0005, 1714558830.1234, 951782400.5, 1714558830.5}) {
        auto date = platform::Date::fromTimeIntervalSince1970(t);
        EXPECT_EQ(logger->dateText(date), logger->dateFormatter()->string(date)) << t;
    }
}

TEST(LineFormat, DateTextFollowsAChangedFormatterWithinTheSameSecond) {
    // The date is formatted once a second; a formatter changed within that second, the
    // shared default one included, is not outrun by it.
    const auto later = platform::Date::fromTimeIntervalSince1970(1714558830.456);
    const std::function<void(platform::DateFormatter&)> changes[] = {
        [](auto& f) { f.setTimeZone(*platform::TimeZone::fromSecondsFromGMT(8 * 3600)); },
        [](auto& f) { f.setDateFormat("HH:mm:ss.SSS"); },
    };
    for (bool shared : {false, true}) {
        for (const auto& change : changes) {
            auto logger = Logger::create("dates", false);
            if (!shared) logger->setDateFormatter(std::make_shared<platform::DateFormatter>());
            auto formatter = logger->dateFormatter();
            const platform::DateFormatter before = *formatter;
            formatter->setDateFormat("yyyy-MM-dd HH:mm:ss.SSS");
            logger->dateText(kDate);
            change(*formatter);
            EXPECT_EQ(logger->dateText(later), formatter->string(later)) << (shared ? "shared" : "own");
            *formatter = before;
        }
    }
}

TEST(LevelFiltering, DestinationTakesLevelsAtOrAboveItsThreshold) {
    struct Case {
        Level threshold, level;
        bool written;
    };
    const Case cases[] = {
        {Level::info, Level::debug, false},     {Level::info, Level::info, true},
        {Level::info, Level::emergency, true},  {Level::verbose, Level::verbose, true},
        {Level::none, Level::emergency, false}, {Level::none, Level::none, true},
        {Level::warning, Level::notice, false},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.bare();
        f.destination->setOutputLevel(c.threshold);
        bool ran = false;
        f.logger->logln(c.level, [&]() -> std::optional<std::string> {
            ran = true;
            return std::string("m");
        });
        EXPECT_EQ(f.destination->unexpectedMessageCount(), c.written ? 1u : 0u)
            << description(c.threshold) << " / " << description(c.level);
        // The message is evaluated only when someone takes the line.
        EXPECT_EQ(ran, c.written);
    }
}

TEST(Logger, MessageYieldingNothingLogsNothingAndCallSiteIsTheCaller) {
    Fixture f;
    f.destination->setShowDate(false);
    f.destination->setShowLevel(false);
    f.logger->info([]() -> std::optional<std::string> { return std::nullopt; });
    EXPECT_EQ(f.destination->unexpectedMessageCount(), 0u);

    const int line = __LINE__ + 1;
    f.logger->info("at the call site");
    ASSERT_EQ(f.destination->unexpectedMessageCount(), 1u);
    EXPECT_EQ(f.destination->unexpectedLogMessages[0].substr(0, f.destination->unexpectedLogMessages[0].find(']') + 1),
              "[logger_test.cpp:" + std::to_string(line) + "]");
    f.destination->reset();
    f.logger->error("named", CallSite::named("getChannel()"));
    ASSERT_EQ(f.destination->unexpectedMessageCount(), 1u);
    EXPECT_NE(f.destination->unexpectedLogMessages[0].find("] getChannel() > named"), std::string::npos);
}

TEST(Logger, ALogCallMadeWhileALineIsOnItsWayLeavesThatLineAlone) {
    // A formatter of the file destination logs a line of its own while it formats the
    // first one: the file gets both lines whole, and the destination after it still
    // receives the first line as it was logged.
    class Chatty : public LogFormatterProtocol {
    public:
        explicit Chatty(Logger& logger) : logger_(logger) {}
        std::string format(LogDetails&, std::string& message) override {
            if (message.find("inner") == std::string::npos) logger_.info("inner", CallSite("inner()", "/x/In.cpp", 7));
            return message;
        }
        std::string debugDescription() const override { return "Chatty"; }

    private:
        Logger& logger_;
    };
    testing_support::TempDir dir;
    auto logger = Logger::create("l", false);
    auto file = FileDestination::create(nullptr, (dir / "a.log").string(), "file");
    file->setOutputLevel(Level::warning);  // only the line that names the file, no banner
    file->setShowDate(false);
    file->setFormatters(FormatterList{{std::make_shared<Chatty>(*logger)}});
    logger->add(file);
    file->setOutputLevel(Level::info);
    auto second = TestDestination::create(nullptr, "second");
    second->setShowDate(false);
    logger->add(second);
    logger->info("outer", CallSite("outer()", "/x/Out.cpp", 3));
    const std::string inner = "[Info] [In.cpp:7] inner() > inner", outer = "[Info] [Out.cpp:3] outer() > outer";
    auto text = testing_support::readFile(dir / "a.log");
    EXPECT_EQ(text.substr(text.find('\n') + 1), inner + "\n" + outer + "\n");
    EXPECT_EQ(second->unexpectedLogMessages, (std::vector<std::string>{inner, outer}));
}

TEST(Logger, AMessageClosureThatRemovesItsOnlyHeldDestinationLeavesItAliveForTheCall) {
    auto logger = Logger::create("l", false);
    std::weak_ptr<TestDestination> doomed;
    {
        auto destination = TestDestination::create(nullptr, "doomed");
        logger->add(destination);
        doomed = destination;
    }
    auto witness = TestDestination::create(nullptr, "witness");
    witness->setShowDate(false);
    logger->add(witness);
    logger->info([&] {
        logger->remove(std::string_view("doomed"));
        return std::string("after");
    });
    EXPECT_TRUE(doomed.expired());
    ASSERT_EQ(witness->unexpectedMessageCount(), 1u);
    EXPECT_TRUE(witness->unexpectedLogMessages[0].ends_with("> after"));
}

TEST(Logger, AddRemoveAndOwnership) {
    auto a = Logger::create("a", false);
    auto b = Logger::create("b", false);
    auto d = TestDestination::create(nullptr, "d");
    EXPECT_TRUE(a->add(d));
    EXPECT_FALSE(a->add(TestDestination::create(nullptr, "d")));  // identifier taken
    EXPECT_EQ(a->destinations().size(), 1u);

    EXPECT_FALSE(b->remove(d));  // owned by a
    EXPECT_TRUE(b->add(d));      // moves from a to b
    EXPECT_TRUE(a->destinations().empty());
    EXPECT_EQ(d->owner(), b);
    EXPECT_TRUE(b->remove(std::string_view("d")));
    EXPECT_EQ(d->owner(), nullptr);
    EXPECT_FALSE(b->remove(std::string_view("d")));

    // A destination without owner writes nothing.
    d->process(details(Level::error, "x"));
    EXPECT_EQ(d->unexpectedMessageCount(), 0u);
}

TEST(Logger, BannerReachesEachDestinationOnceAndNotAboveInfo) {
    auto logger = Logger::create("banner", false);
    auto low = TestDestination::create(nullptr, "low");
    auto high = TestDestination::create(nullptr, "high");
    high->setOutputLevel(Level::warning);
    logger->add(low);
    logger->add(high);
    low->setShowDate(false);
    logger->logAppDetails();
    logger->logAppDetails();
    ASSERT_EQ(low->unexpectedMessageCount(), 2u);
    EXPECT_NE(low->unexpectedLogMessages[0].find("PID: "), std::string::npos);
    EXPECT_EQ(low->unexpectedLogMessages[1], "[Info] > Scribe Version: 7.0.1 - Level: Debug");
    EXPECT_EQ(high->unexpectedMessageCount(), 0u);
    EXPECT_FALSE(high->haveLoggedAppDetails());
    low->reset();
    logger->logAppDetails();
    EXPECT_EQ(low->unexpectedMessageCount(), 2u);
}

TEST(Logger, InternalErrorSkipsItsSourceButInfoReachesIt) {
    auto logger = Logger::create("internal", false);
    auto source = TestDestination::create(nullptr, "source");
    auto other = TestDestination::create(nullptr, "other");
    logger->add(source);
    logger->add(other);
    logger->logInternal("failed", Level::error, source);
    EXPECT_EQ(source->unexpectedMessageCount(), 0u);
    EXPECT_EQ(other->unexpectedMessageCount(), 1u);
    logger->logInternal("opened", Level::info, source);
    EXPECT_EQ(source->unexpectedMessageCount(), 1u);
    EXPECT_EQ(other->unexpectedMessageCount(), 2u);
}

TEST(Logger, SettingOutputLevelSetsEveryDestinationAndDescriptionsList) {
    auto logger = Logger::create("levels", true);
    auto d = TestDestination::create(nullptr, "t");
    logger->add(d);
    logger->setOutputLevel(Level::none);
    for (const auto& destination : logger->destinations()) EXPECT_EQ(destination->outputLevel(), Level::none);
    auto text = logger->debugDescription();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3);
    EXPECT_TRUE(text.starts_with("Scribe: levels - destinations: \r\t ConsoleDestination: "
                                 "com.ferncastleworks.scribe.logdestination.console - Level: None"));
}

TEST(TestDestinationMatching, ExpectedLinesAreConsumedOnceEach) {
    Fixture f;
    f.bare();
    f.destination->expect("> twice");
    f.destination->expect("> twice");
    f.logger->info("twice");
    f.logger->info("twice");
    EXPECT_EQ(f.destination->expectedMessagesRemaining(), 0u);
    EXPECT_EQ(f.destination->unexpectedMessageCount(), 0u);
    f.logger->info("twice");
    EXPECT_EQ(f.destination->unexpectedMessageCount(), 1u);

    // With a queue the counts are still current when the log call returns.
    f.destination->reset();
    f.destination->logQueue = platform::DispatchQueue::create("test-destination");
    f.destination->expect("> queued");
    f.logger->info("queued");
    EXPECT_EQ(f.destination->expectedMessagesRemaining(), 0u);
}

TEST(SystemLog, MessageIsDataAndNeverCarriesItsOwnDate) {
    auto logger = Logger::create("syslog", false);
    auto system = AppleSystemLogDestination::create(nullptr, Constants::systemLogDestinationID);
    system->setShowDate(true);
    EXPECT_FALSE(system->showDate());
    system->setShowFileName(false);
    system->setShowLineNumber(false);
    system->setShowFunctionName(false);
    logger->add(system);

    testing::internal::CaptureStderr();
    logger->info("100% %s %n done");
    system->setOutputLevel(Level::none);
    logger->emergency("never");
    std::string captured = testing::internal::GetCapturedStderr();
    EXPECT_NE(captured.find("] [Info] > 100% %s %n done\n"), std::string::npos) << captured;
    EXPECT_EQ(captured.find("never"), std::string::npos);
    EXPECT_EQ(std::count(captured.begin(), captured.end(), '\n'), 1);
}
