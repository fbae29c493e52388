// The file destination: creating, appending with a marker, reopening, moving the file aside.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sys/wait.h>

#include <csignal>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "logging/FileDestination.h"
#include "logging/PrePostFixLogFormatter.h"
#include "logging/Scribe.h"
#include "logging/UserInfoFilter.h"
#include "platform/dispatch/DispatchQueue.h"
#include "tests/logging/LoggingChild.h"
#include "tests/support/TempDir.h"

using namespace ::Scribe;
using Logger = ::Scribe::Scribe;
using logging_test::runLoggingChild;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// A seam at the C library's door, for this test program only: a look at each rename's
// source before it happens (the aside renames with renameat2).
std::function<void(const char* from)> renameHook;

}  // namespace

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) noexcept {
    if (renameHook) renameHook(from);
    return static_cast<int>(::syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags));
}

namespace {

std::vector<std::string> lines(const std::filesystem::path& file) {
    std::vector<std::string> result;
    std::string text = readFile(file), current;
    for (char c : text) {
        if (c == '\n') {
            result.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) result.push_back(current);
    return result;
}

std::shared_ptr<FileDestination> bareFile(const std::filesystem::path& path, bool append,
                                          std::optional<std::string> marker, std::string identifier = "file") {
    auto d = FileDestination::create(nullptr, path.string(), std::move(identifier), append, std::move(marker));
    d->setShowDate(false);
    d->setShowFileName(false);
    d->setShowLineNumber(false);
    d->setShowFunctionName(false);
    return d;
}

// A destination on `queue` for warnings and up, without the level, so that its file holds
// the line that names the file and then only the test's own lines.
std::shared_ptr<FileDestination> queuedWarnings(const std::filesystem::path& path,
                                                const std::shared_ptr<platform::DispatchQueue>& queue) {
    auto d = bareFile(path, false, std::nullopt);
    d->setShowLevel(false);
    d->setOutputLevel(Level::warning);
    d->logQueue = queue;
    return d;
}

std::string namingLine(const std::filesystem::path& path) { return "> Scribe writing log to: file://" + path.string(); }

bool contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& l : lines) {
        if (l.find(part) != std::string::npos) return true;
    }
    return false;
}

// What was moved aside from `path`, found by its name ("<path>.invalid-<time>").
std::optional<std::filesystem::path> movedAsideFrom(const std::filesystem::path& path) {
    const std::string prefix = path.filename().string() + ".invalid-";
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path())) {
        if (entry.path().filename().string().starts_with(prefix)) return entry.path();
    }
    return std::nullopt;
}

}  // namespace

TEST(FileDestination, OpeningAnExistingOrNewFile) {
    // What may stand at the log path before the destination opens it. Anything but a
    // regular file is moved aside (and named in the log) and a fresh file made in its
    // place: a link is never written through, its target never made, a FIFO never waited on.
    // Only what was found is moved: a log another process makes at the name between the
    // look and the move (the link replaced, here) is appended to, not set aside.
    enum class Standing { nothing, file, danglingLink, linkToFile, fifo, folder, linkReplacedBeforeTheMove };
    struct Case {
        const char* name;
        Standing standing;
        bool append;
        std::optional<std::string> marker;
        std::vector<std::string> expectedStart;  // lines before the banner
        const char* mode;
    };
    const Case cases[] = {
        {"append with marker",
         Standing::file,
         true,
         std::string("-- mark --"),
         {"old line", "-- mark --"},
         "appending"},
        {"append, empty marker", Standing::file, true, std::string(), {"old line", ""}, "appending"},
        {"append, no marker", Standing::file, true, std::nullopt, {"old line"}, "appending"},
        {"replace existing", Standing::file, false, std::string("-- mark --"), {}, "writing"},
        {"append to missing file", Standing::nothing, true, std::string("-- mark --"), {}, "writing"},
        {"append at a dangling link", Standing::danglingLink, true, std::string("-- mark --"), {}, "writing"},
        {"append at a link to a file", Standing::linkToFile, true, std::string("-- mark --"), {}, "writing"},
        {"replace a link to a file", Standing::linkToFile, false, std::nullopt, {}, "writing"},
        {"append at a FIFO without a reader", Standing::fifo, true, std::string("-- mark --"), {}, "writing"},
        {"append at a folder", Standing::folder, true, std::string("-- mark --"), {}, "writing"},
        {"replace a folder", Standing::folder, false, std::nullopt, {}, "writing"},
        {"append at a link a log replaces before the move",
         Standing::linkReplacedBeforeTheMove,
         true,
         std::string("-- mark --"),
         {"another process's line", "-- mark --"},
         "appending"},
    };
    // Each row runs whole, whichever assertion of another row stopped it.
    auto check = [](const Case& c) {
        TempDir dir;
        auto path = dir / "app.log";
        auto target = dir / "elsewhere.txt";
        switch (c.standing) {
            case Standing::nothing: break;
            case Standing::file: writeFile(path, "old line\n"); break;
            case Standing::linkToFile: writeFile(target, "someone else's\n"); [[fallthrough]];
            case Standing::danglingLink: std::filesystem::create_symlink(target, path); break;
            case Standing::fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
            case Standing::folder: std::filesystem::create_directory(path); break;
            case Standing::linkReplacedBeforeTheMove:
                std::filesystem::create_symlink(target, path);
                renameHook = [path, dir = dir.path()](const char* from) {
                    if (from != path.string() || !std::filesystem::is_symlink(path)) return;
                    std::filesystem::rename(path, dir / "moved by another process");
                    writeFile(path, "another process's line\n");
                };
                break;
        }
        auto logger = Logger::create("l", false);
        logger->add(bareFile(path, c.append, c.marker));
        logger->info("new line");
        ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path)));
        auto got = lines(path);
        renameHook = nullptr;
        const bool movedAside = c.standing != Standing::nothing && c.standing != Standing::file &&
                                c.standing != Standing::linkReplacedBeforeTheMove;
        ASSERT_GE(got.size(), c.expectedStart.size() + (movedAside ? 5 : 4));
        for (std::size_t i = 0; i < c.expectedStart.size(); ++i) EXPECT_EQ(got[i], c.expectedStart[i]);
        std::size_t n = c.expectedStart.size();
        EXPECT_NE(got[n].find("PID: "), std::string::npos);
        EXPECT_NE(got[n + 1].find("Scribe Version: 7.0.1"), std::string::npos);
        EXPECT_EQ(got[n + 2], std::string("[Info] > Scribe ") + c.mode + " log to: file://" + path.string());
        if (movedAside) {
            auto aside = movedAsideFrom(path);
            ASSERT_TRUE(aside.has_value());
            EXPECT_EQ(got[n + 3], "[Warning] > Scribe moved what stood at the log path aside to: " + aside->string());
            const auto kind = c.standing == Standing::fifo     ? std::filesystem::file_type::fifo
                              : c.standing == Standing::folder ? std::filesystem::file_type::directory
                                                               : std::filesystem::file_type::symlink;
            EXPECT_EQ(std::filesystem::symlink_status(*aside).type(), kind);
            ++n;
        }
        EXPECT_EQ(got[n + 3], "[Info] > new line");
        // A link's target is never written, nor made.
        if (c.standing == Standing::linkToFile) {
            EXPECT_EQ(readFile(target), "someone else's\n");
        }
        if (c.standing == Standing::danglingLink) {
            EXPECT_FALSE(std::filesystem::exists(target));
        }
        if (!movedAside) {
            EXPECT_EQ(movedAsideFrom(path), std::nullopt);
        }
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        check(c);
        renameHook = nullptr;
    }
}

// Two loggers appending to one file (two processes sharing a log) keep each other's lines,
// whether the file was there before or the first of them made it.
TEST(FileDestination, TwoAppendingWritersKeepEachOthersLines) {
    for (const bool fileWasThere : {true, false}) {
        SCOPED_TRACE(fileWasThere ? "an existing file" : "a file the first writer makes");
        TempDir dir;
        auto path = dir / "shared.log";
        if (fileWasThere) writeFile(path, "old line\n");
        auto first = Logger::create("first", false);
        auto second = Logger::create("second", false);
        first->add(bareFile(path, true, std::nullopt));
        second->add(bareFile(path, true, std::nullopt));
        for (int i = 0; i < 50; ++i) {
            first->info("first " + std::to_string(i));
            second->info("second " + std::to_string(i));
        }
        auto got = lines(path);
        if (fileWasThere) {
            EXPECT_EQ(got.front(), "old line");
        }
        for (int i = 0; i < 50; ++i) {
            EXPECT_TRUE(contains(got, "> first " + std::to_string(i))) << i;
            EXPECT_TRUE(contains(got, "> second " + std::to_string(i))) << i;
        }
    }
}

TEST(FileDestination, WritesNothingWithoutOwnerAndReopensWhenMoved) {
    TempDir dir;
    auto d = bareFile(dir / "a.log", false, std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.log"));
    auto logger = Logger::create("l", false);
    logger->add(d);
    logger->info("to a");
    d->setWriteToFileURL(platform::URL::fileURL((dir / "b.log").string(), false));
    logger->info("to b");
    logger->remove(d);
    logger->info("after removal");
    EXPECT_TRUE(contains(lines(dir / "a.log"), "> to a"));
    EXPECT_FALSE(contains(lines(dir / "a.log"), "to b"));
    auto b = lines(dir / "b.log");
    EXPECT_TRUE(contains(b, "> to b"));
    EXPECT_FALSE(contains(b, "after removal"));
}

TEST(FileDestination, QueuedLinesAreInTheFileOnceTheQueueRanPastThem) {
    // Lines gather on the queue and reach the file in batches; a block queued after the
    // last line finds them all written, in order, a line longer than a batch included,
    // and filtered and formatted when the owner has filters and formatters.
    const std::string longLine(200 * 1024, 'x');
    for (bool withLists : {false, true}) {
        TempDir dir;
        auto logger = Logger::create("l", false);
        auto queue = platform::DispatchQueue::create("test-file-batches");
        logger->add(queuedWarnings(dir / "a.log", queue));
        if (withLists) {
            auto prefix = std::make_shared<PrePostFixLogFormatter>();
            prefix->apply(std::string("<"), std::nullopt);
            logger->formatters = FormatterList{{prefix}};
            logger->filters = FilterList{{TagFilter::excluding({"x"})}};
        }
        std::vector<std::string> expected{namingLine(dir / "a.log")};
        const std::string mark = withLists ? "<> " : "> ";
        for (int i = 0; i < 3000; ++i) {
            const std::string text = i == 1500 ? longLine : "line " + std::to_string(i);
            logger->warning(text);
            expected.push_back(mark + text);
            logger->warning("tagged", CallSite(), {{Constants::tagsUserInfoKey, platform::Value("x")}});
            if (!withLists) expected.push_back("> tagged");
        }
        queue->sync([] {});
        EXPECT_EQ(lines(dir / "a.log"), expected) << (withLists ? "with lists" : "without lists");
    }
}

TEST(FileDestination, LinesHandedToAQueueSinceTakenAwayAreWrittenBeforeWhatComesNext) {
    // The old queue may still hold lines when it is taken away, and may be busy or never
    // run again. Nothing waits for it: the next line is written on the logging thread after
    // them, at once; a flush completes once they are in the file; a close writes them
    // before it closes, so the old queue, when it runs, has nothing left to lose.
    enum class OldQueue { idle, busy, suspended };
    enum class Next { line, flushThenClose };
    for (const auto state : {OldQueue::idle, OldQueue::busy, OldQueue::suspended}) {
        for (const auto next : {Next::line, Next::flushThenClose}) {
            SCOPED_TRACE(std::string(state == OldQueue::idle   ? "idle"
                                     : state == OldQueue::busy ? "busy"
                                                               : "suspended") +
                         (next == Next::line ? ", a line" : ", a flush then a close"));
            TempDir dir;
            auto logger = Logger::create("l", false);
            auto queue = platform::DispatchQueue::create("test-queue-taken-away");
            auto d = queuedWarnings(dir / "a.log", queue);
            logger->add(d);
            std::vector<std::string> expected{namingLine(dir / "a.log"), "> queued 0"};
            logger->warning("queued 0");
            queue->sync([] {});
            std::promise<void> release;
            if (state == OldQueue::busy) queue->async([done = release.get_future().share()] { done.wait(); });
            if (state == OldQueue::suspended) queue->suspend();
            for (int i = 1; i <= 100; ++i) {
                logger->warning("queued " + std::to_string(i));
                expected.push_back("> queued " + std::to_string(i));
            }
            d->logQueue = nullptr;
            if (next == Next::line) {
                logger->warning("after");
                expected.push_back("> after");
                EXPECT_EQ(lines(dir / "a.log"), expected);
            } else {
                std::optional<std::vector<std::string>> atCompletion;
                d->flush([&] { atCompletion = lines(dir / "a.log"); });
                EXPECT_EQ(atCompletion, expected) << "at the flush's completion";
                d->closeLogFile();
            }

            if (state == OldQueue::busy) release.set_value();
            if (state == OldQueue::suspended) queue->resume();
            queue->sync([] {});
            EXPECT_EQ(lines(dir / "a.log"), expected) << "once the old queue ran: nothing lost, nothing twice";
        }
    }
}

// Asks its destination for a flush when it meets the line "flush", and keeps the file's
// lines as the flush's completion finds them.
class FlushingFilter : public FilterProtocol {
public:
    FlushingFilter(FileDestination& destination, std::filesystem::path file)
        : destination_(destination), file_(std::move(file)) {}
    bool shouldExclude(LogDetails& details, std::string&) override {
        if (details.message == "flush") destination_.flush([this] { atCompletion.set_value(lines(file_)); });
        return false;
    }
    std::string debugDescription() const override { return "FlushingFilter"; }
    std::promise<std::vector<std::string>> atCompletion;

private:
    FileDestination& destination_;
    std::filesystem::path file_;
};

TEST(FileDestination, AFlushAskedForInsideTheDrainCompletesAfterTheLinesBeforeIt) {
    TempDir dir;
    auto logger = Logger::create("l", false);
    auto d = queuedWarnings(dir / "a.log", platform::DispatchQueue::create("test-flush-in-drain"));
    auto filter = std::make_shared<FlushingFilter>(*d, dir / "a.log");
    d->setFilters(FilterList{{filter}});
    logger->add(d);
    std::vector<std::string> expected{namingLine(dir / "a.log")};
    for (int i = 0; i < 100; ++i) {
        const std::string text = i == 50 ? "flush" : "line " + std::to_string(i);
        logger->warning(text);
        expected.push_back("> " + text);
    }
    auto found = filter->atCompletion.get_future();
    ASSERT_EQ(found.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    auto atCompletion = found.get();
    ASSERT_GE(atCompletion.size(), 52u);
    EXPECT_EQ(std::vector<std::string>(atCompletion.begin(), atCompletion.begin() + 52),
              std::vector<std::string>(expected.begin(), expected.begin() + 52));
    d->isOpen();  // the queue is done with the file before the folder goes
}

TEST(FileDestination, TheLineThatLeavesTooMuchWaitingIsWrittenBeforeTheCallReturns) {
    // The queue never runs here. Past 4 MiB waiting the logging thread writes the lines
    // itself, whether a drain is queued already for the earlier ones or one line alone
    // is that long.
    struct Case {
        const char* name;
        int count;
        std::size_t length;
    };
    const Case cases[] = {
        {"the 64th line of 64 KiB crosses the bound", 64, 64 * 1024},
        {"one line over the bound", 1, 4 * 1024 * 1024 + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto logger = Logger::create("l", false);
        auto queue = platform::DispatchQueue::create("test-too-much-waiting");
        logger->add(queuedWarnings(dir / "a.log", queue));
        queue->sync([] {});
        queue->suspend();
        std::vector<std::string> expected{namingLine(dir / "a.log")};
        for (int i = 0; i < c.count; ++i) {
            const std::string text = std::to_string(i) + std::string(c.length, 'x');
            logger->warning(text);
            expected.push_back("> " + text);
        }
        EXPECT_EQ(lines(dir / "a.log"), expected);
        queue->resume();
        queue->sync([] {});
    }
}

// A filter slower than the logging threads: the queue's writing falls behind them.
class SlowFilter : public FilterProtocol {
public:
    bool shouldExclude(LogDetails&, std::string&) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(2);
        while (std::chrono::steady_clock::now() < until) {}
        return false;
    }
    std::string debugDescription() const override { return "SlowFilter"; }
};

TEST(FileDestination, OtherWorkOnTheQueueTakesItsTurnBetweenBatchesOfASteadyStream) {
    // Threads log at full speed, faster than the queue writes; the queue's other work
    // (isOpen, a flush) still answers within a turn of the drain, not once the stream stops.
    constexpr auto kBound = std::chrono::seconds(2);
    constexpr auto kLongestStream = std::chrono::seconds(6);
    for (const int threads : {1, 4}) {
        SCOPED_TRACE(std::to_string(threads) + " logging threads");
        TempDir dir;
        auto logger = Logger::create("l", false);
        auto d = queuedWarnings(dir / "a.log", platform::DispatchQueue::create("test-steady-stream"));
        d->setFilters(FilterList{{std::make_shared<SlowFilter>()}});
        logger->add(d);
        std::atomic<bool> stop = false;
        std::vector<std::thread> streams;
        for (int t = 0; t < threads; ++t) {
            streams.emplace_back([&] {
                const auto end = std::chrono::steady_clock::now() + kLongestStream;
                while (!stop.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < end) {
                    for (int i = 0; i < 1000; ++i) logger->warning("a line of a steady stream");
                }
            });
        }
        for (int round = 0; round < 3; ++round) {
            const auto start = std::chrono::steady_clock::now();
            EXPECT_TRUE(d->isOpen());
            EXPECT_LT(std::chrono::steady_clock::now() - start, kBound) << "isOpen, round " << round;
            auto flushed = std::make_shared<std::promise<void>>();
            d->flush([flushed] { flushed->set_value(); });
            EXPECT_EQ(flushed->get_future().wait_for(kBound), std::future_status::ready) << "flush, round " << round;
        }
        stop = true;
        for (auto& stream : streams) stream.join();
        d->isOpen();  // the queue is done with the file before the folder goes
    }
}

// Logs a line again each time one passes, while `echoing`: a stream that never ends by
// itself, as fast as the destination writes.
class EchoFilter : public FilterProtocol {
public:
    std::weak_ptr<Logger> logger;
    std::atomic<bool> echoing = true;
    bool shouldExclude(LogDetails&, std::string&) override {
        if (auto l = logger.lock(); l && echoing) l->warning("echo");
        return false;
    }
    std::string debugDescription() const override { return "EchoFilter"; }
};

TEST(FileDestination, AFlushEndsThoughEveryLineWrittenBringsAnother) {
    // The flush writes the lines handed over before it, not the ones each written line
    // brings after it: it completes while the echo goes on.
    TempDir dir;
    auto logger = Logger::create("l", false);
    auto d = queuedWarnings(dir / "a.log", platform::DispatchQueue::create("test-echo"));
    auto echo = std::make_shared<EchoFilter>();
    echo->logger = logger;
    d->setFilters(FilterList{{echo}});
    logger->add(d);
    logger->warning("echo");
    auto flushed = std::make_shared<std::promise<void>>();
    d->flush([flushed] { flushed->set_value(); });
    const auto status = flushed->get_future().wait_for(std::chrono::seconds(30));
    echo->echoing = false;
    EXPECT_EQ(status, std::future_status::ready);
    d->isOpen();  // the queue is done with the file before the folder goes
}

TEST(FileDestination, EveryLineLoggedBeforeAFatalErrorIsInTheFileWithTheFatalMessage) {
    struct Case {
        const char* which;
        const char* message;
    };
    const Case cases[] = {
        {"ordinary", "the logging thread ends it all"},
        {"suspended", "the logging thread ends it all"},
        {"on-queue", "a block on the log queue ends it all"},
        {"in-drain", "a filter met the line that ends it all"},
        {"rotating", "the logging thread ends it all"},
        {"in-rotation", "the rotation ends it all"},
        {"escaped", "an exception nobody caught"},
        {"closed-in-last-words", "the logging thread ends it all"},
    };
    for (const auto& c : cases) {
        for (const int count : {1, 100}) {
            SCOPED_TRACE(std::string(c.which) + ", " + std::to_string(count) + " lines");
            TempDir dir;
            const auto status = runLoggingChild(c.which, count, dir / "a.log");
            ASSERT_TRUE(status && WIFSIGNALED(*status)) << status.value_or(-1);
            EXPECT_EQ(WTERMSIG(*status), SIGABRT);
            std::vector<int> seen(count, 0);
            bool messageSeen = false;
            for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
                for (const auto& line : lines(entry.path())) {
                    if (line.find(c.message) != std::string::npos) messageSeen = true;
                    const auto at = line.find("> line ");
                    if (at != std::string::npos) ++seen[std::stoi(line.substr(at + 7))];
                }
            }
            EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), count);
            EXPECT_TRUE(messageSeen);
        }
    }
}

TEST(FileDestination, TwoProcessesStartingAtADanglingLinkWriteEveryLineToTheLog) {
    // Both find the link and move it aside; the one that comes second never takes the log
    // the first has just made in its place for the link and sets it aside.
    constexpr int kRounds = 100, kLines = 200;
    int roundsWithALogAside = 0, roundsWithLinesElsewhere = 0;
    for (int round = 0; round < kRounds; ++round) {
        TempDir dir;
        const auto path = dir / "app.log";
        std::filesystem::create_symlink(dir / "nowhere", path);
        int start[2], ready[2];
        ASSERT_EQ(::pipe2(start, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        const pid_t first = logging_test::startLoggingChild("appending", kLines, path, start[0], ready[1]);
        const pid_t second = logging_test::startLoggingChild("appending", kLines, path, start[0], ready[1]);
        ::close(start[0]);
        ::close(ready[1]);
        char both[2];
        EXPECT_EQ(::read(ready[0], both, 1) + ::read(ready[0], both + 1, 1), 2);
        ::close(ready[0]);
        ::close(start[1]);  // both go
        EXPECT_EQ(logging_test::waitForLoggingChild(first), 0);
        EXPECT_EQ(logging_test::waitForLoggingChild(second), 0);
        std::vector<int> seen(kLines, 0);
        for (const auto& line : lines(path)) {
            const auto at = line.find("> line ");
            if (at != std::string::npos) ++seen[std::stoi(line.substr(at + 7))];
        }
        roundsWithLinesElsewhere += std::count(seen.begin(), seen.end(), 2) != kLines;
        bool logAside = false;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            logAside |= entry.path() != path && entry.symlink_status().type() != std::filesystem::file_type::symlink;
        roundsWithALogAside += logAside;
    }
    EXPECT_EQ(roundsWithALogAside, 0) << "of " << kRounds;
    EXPECT_EQ(roundsWithLinesElsewhere, 0) << "of " << kRounds;
}

TEST(FileDestination, ChangingTheFileWhileTheQueueWritesLosesNoLine) {
    // A writer thread keeps the destination's queue busy while this thread moves the file
    // back and forth and rotates it: every line lands whole in exactly one file.
    TempDir dir;
    auto logger = Logger::create("l", false);
    auto d = bareFile(dir / "a.log", true, std::nullopt);  // reopening appends
    d->logQueue = platform::DispatchQueue::create("test-file-destination");
    logger->add(d);
    constexpr int kLines = 2000;
    std::thread writer([&] {
        for (int i = 0; i < kLines; ++i) logger->info("line " + std::to_string(i));
    });
    for (int round = 0; round < 20; ++round) {
        d->setWriteToFileURL(platform::URL::fileURL((dir / (round % 2 ? "a.log" : "b.log")).string(), false));
        d->rotateFile((dir / ("old" + std::to_string(round) + ".log")).string());
    }
    writer.join();
    std::promise<void> flushed;
    d->flush([&] { flushed.set_value(); });
    flushed.get_future().wait();

    std::vector<int> seen(kLines, 0);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        for (const auto& line : lines(entry.path())) {
            auto at = line.find("> line ");
            if (at != std::string::npos) ++seen[std::stoi(line.substr(at + 7))];
        }
    }
    for (int i = 0; i < kLines; ++i) EXPECT_EQ(seen[i], 1) << "line " << i;
}

TEST(FileDestination, LoggingAndFlushingOnAConcurrentQueueWritesEachLineOnce) {
    TempDir dir;
    auto logger = Logger::create("l", false);
    auto d = bareFile(dir / "a.log", false, std::nullopt);
    d->logQueue = platform::DispatchQueue::create("test-concurrent-log", platform::DispatchQoS::default_,
                                                  platform::DispatchQueue::Attributes::concurrent);
    logger->add(d);
    constexpr int kLines = 20000;
    for (int i = 0; i < kLines; ++i) {
        logger->info("line " + std::to_string(i));
        if (i % 50 == 0) d->flush();
    }
    std::promise<void> flushed;
    d->flush([&] { flushed.set_value(); });
    flushed.get_future().wait();

    std::vector<int> seen(kLines, 0);
    for (const auto& line : lines(dir / "a.log")) {
        auto at = line.find("> line ");
        if (at != std::string::npos) ++seen[std::stoi(line.substr(at + 7))];
    }
    int wrong = 0;
    for (int i = 0; i < kLines; ++i) wrong += seen[i] != 1;
    EXPECT_EQ(wrong, 0);
}

TEST(FileDestination, RotationMovesTagsAndStartsAFreshFile) {
    TempDir dir;
    auto logger = Logger::create("l", false);
    auto d = bareFile(dir / "app.log", false, std::nullopt);
    logger->add(d);
    logger->info("before");
    bool completed = false;
    EXPECT_TRUE(d->rotateFile((dir / "old.log").string(), [&](bool moved) { completed = moved; }));
    EXPECT_TRUE(completed);
    logger->info("after");
    auto old = lines(dir / "old.log");
    EXPECT_TRUE(contains(old, "> before"));
    EXPECT_FALSE(contains(old, "after"));
    auto fresh = lines(dir / "app.log");
    ASSERT_GE(fresh.size(), 4u);
    EXPECT_NE(fresh[0].find("PID: "), std::string::npos);
    EXPECT_TRUE(contains(fresh, "Scribe writing log to: file://"));
    EXPECT_EQ(fresh.back(), "[Info] > after");

    auto by =
        d->readExtendedAttribute(platform::URL::fileURL((dir / "old.log").string()), Constants::archivedByAttributeKey);
    ASSERT_TRUE(by.has_value());
    EXPECT_EQ(by->toString(), "file");
    // A size query that fails, whatever the cause, answers none.
    EXPECT_EQ(d->readExtendedAttribute(platform::URL::fileURL((dir / "missing.log").string()),
                                       Constants::archivedByAttributeKey),
              std::nullopt);
}

TEST(FileDestination, RefusedRotationKeepsTheCurrentFileAndItsContent) {
    TempDir dir;
    auto logger = Logger::create("l", false);
    auto d = bareFile(dir / "app.log", false, std::nullopt);
    logger->add(d);
    logger->info("first");
    writeFile(dir / "taken.log", "someone else's\n");
    bool called = false, result = true;
    EXPECT_FALSE(d->rotateFile((dir / "taken.log").string(), [&](bool moved) { called = true, result = moved; }));
    EXPECT_TRUE(called);
    EXPECT_FALSE(result);
    EXPECT_FALSE(d->rotateFile(platform::URL::parse("https://example.com/x.log").value()));
    EXPECT_FALSE(d->rotateFile(platform::Value(7)));
    // The move itself fails (no such folder): the old file is appended to, never emptied,
    // although this destination does not append when it opens.
    EXPECT_FALSE(d->rotateFile((dir / "missing" / "x.log").string()));
    logger->info("second");
    auto got = lines(dir / "app.log");
    EXPECT_TRUE(contains(got, "> first"));
    EXPECT_EQ(got.back(), "[Info] > second");
    EXPECT_EQ(readFile(dir / "taken.log"), "someone else's\n");
}

TEST(FileDestination, OpenFailureIsReportedToTheOtherDestinations) {
    TempDir dir;
    auto logger = Logger::create("l", false);
    auto witness = bareFile(dir / "witness.log", false, std::nullopt);
    logger->add(witness);
    // The log's folder is missing (a folder at the log path itself is moved aside instead).
    auto failing = bareFile(dir / "missing-folder" / "a.log", false, std::nullopt, "failing");
    EXPECT_TRUE(logger->add(failing));
    EXPECT_FALSE(failing->isOpen());
    EXPECT_TRUE(contains(lines(dir / "witness.log"), "[Error] > Attempt to open log file for writing failed: "))
        << readFile(dir / "witness.log");
}

TEST(FileDestination, SetupAddsAFileAtTheLoggersLevelWithTheGivenFlags) {
    TempDir dir;
    auto logger = Logger::create("setup", false);
    logger->setup(Level::warning, true, false, false, true, false, false, false, (dir / "setup.log").string());
    auto file = std::dynamic_pointer_cast<FileDestination>(logger->destination(Constants::fileDestinationID));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->outputLevel(), Level::warning);
    EXPECT_TRUE(file->showLogIdentifier());
    EXPECT_FALSE(file->showFunctionName());
    EXPECT_FALSE(file->showDate());
    logger->info("below");
    logger->error("above");
    // The banner is at info, below the file's level; the "log to" line is handed to the
    // file before it is in the logger's list, so it lands whatever the level.
    EXPECT_EQ(lines(dir / "setup.log"), (std::vector<std::string>{"[Info] [setup] > Scribe writing log to: file://" +
                                                                      (dir / "setup.log").string(),
                                                                  "[Error] [setup] > above"}));
}

TEST(FileDestination, ThreadsLoggingWithoutAQueueEachWriteWholeLines) {
    // Without a queue each logging thread writes its own lines, at once and whole; also
    // while another thread moves the file between two paths 3,000 times (in a child
    // process, as a fault there ends the process), each line in one of the two files.
    constexpr int kLines = 2000;
    for (const bool moving : {false, true}) {
        SCOPED_TRACE(moving ? "8 threads, the file moving" : "4 threads");
        TempDir dir;
        const int threadCount = moving ? 8 : 4;
        if (moving) {
            const auto status = runLoggingChild("reopening", kLines, dir / "a.log");
            ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << status.value_or(-1);
        } else {
            auto logger = Logger::create("l", false);
            logger->add(bareFile(dir / "a.log", false, std::nullopt));
            std::vector<std::thread> threads;
            for (int t = 0; t < threadCount; ++t) {
                threads.emplace_back([&, t] {
                    for (int i = 0; i < kLines; ++i) logger->info("line " + std::to_string(t * kLines + i) + " end");
                });
            }
            for (auto& thread : threads) thread.join();
        }

        std::vector<int> seen(threadCount * kLines, 0);
        int malformed = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            for (const auto& line : lines(entry.path())) {
                auto at = line.find("> line ");
                if (at == std::string::npos) continue;
                if (!line.ends_with(" end") || line.find("> line ", at + 1) != std::string::npos) ++malformed;
                else ++seen[std::stoi(line.substr(at + 7))];
            }
        }
        EXPECT_EQ(malformed, 0);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), threadCount * kLines);
    }
}

TEST(FileDestination, AFatalErrorEndsTheProcessEvenWithoutMemoryForTheLastWords) {
    TempDir dir;
    const auto status = runLoggingChild("no-memory", 10, dir / "a.log");
    ASSERT_TRUE(status && WIFSIGNALED(*status)) << status.value_or(-1);
    EXPECT_EQ(WTERMSIG(*status), SIGABRT);
}
