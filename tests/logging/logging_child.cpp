// A program that logs through file destinations the way a test asks, for the cases that
// end the process or might crash or hang it: the test counts the lines in the files after.
// Usage: logging_child <case> <lines> <log file>
// Cases that log through a queued file destination and then end on a fatal error:
//   ordinary   fatal on the logging thread
//   suspended  the destination's queue is suspended and never resumed
//   on-queue   fatal in a block on the destination's queue, behind the lines
//   in-drain   fatal in a filter, while the queue writes the line after the others
//   rotating   a file rotated every few lines, fatal from the logging thread
//   in-rotation  fatal in the middle of the first rotation on the queue (among the file's
//                opening lines), after the file is moved; the lines wait for it
//   escaped    an exception escapes a thread to std::terminate
//   closed-in-last-words  another last-words handler closes the file while they are said
//   no-memory  the ending thread cannot allocate: the fatal error still aborts
// Cases that end by themselves (exit status 0):
//   reopening  eight threads log "line <n> end" without a queue while another thread moves
//              the file between <log file> and "other.log" beside it 3,000 times
//   two-rotating  two rotating destinations without a queue on one logger: one rotates
//              every few lines while the other is reopened, again and again, at a path
//              whose open fails
//   completions-log  two rotating destinations without a queue on one logger, two threads
//              logging to both; each destination's rotation completion logs a line
//   completion-rotates  the same, but the first destination's completion rotates the
//              second, whose completion logs a line
//   echoing    two loggers, each with a queued destination of its own (<log file> and
//              "two.log" beside it); a thread logs "one <n> …" into the first and another
//              "two <n> …" into the second, and each destination's formatter logs an echo
//              of its stream's lines ("echo one <n> …") into the other logger
//   echoing-rotations  two loggers, each with a rotating destination of its own without a
//              queue, and a thread logging into each; each destination's formatter logs an
//              echo of its "Rotated file" lines into the other logger
//   appending  says it is ready on its standard output, waits for its standard input to
//              end, appends the lines to the file without a queue and returns 0 (two of
//              these started together open one log at the same moment)
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "logging/AutoRotatingFileDestination.h"
#include "logging/FilterProtocol.h"
#include "logging/LogFormatterProtocol.h"
#include "logging/Scribe.h"
#include "platform/base/Fatal.h"
#include "platform/base/LastWords.h"
#include "platform/dispatch/DispatchQueue.h"

using namespace ::Scribe;

namespace {

// Set on a thread whose allocations are to fail.
thread_local bool refuseMemory = false;

}  // namespace

void* operator new(std::size_t size) {
    if (refuseMemory) throw std::bad_alloc();
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (refuseMemory) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}
// Every form that frees what the forms above allocate: a sanitizer's own forms would not
// recognise memory from malloc.
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

[[noreturn]] void waitForTheEnd() {
    for (;;) ::pause();
}

// Ends the process when it meets the line "boom".
class FatalFilter : public FilterProtocol {
public:
    bool shouldExclude(LogDetails& details, std::string&) override {
        if (details.message == "boom") platform::fatal("a filter met the line that ends it all");
        return false;
    }
    std::string debugDescription() const override { return "FatalFilter"; }
};

// Ends the process while it rotates: the file is moved, the new one not yet open.
class FatalRotation : public AutoRotatingFileDestination {
public:
    static std::shared_ptr<FatalRotation> create(const ScribePtr& owner, const std::string& path) {
        return createAs<FatalRotation>(owner, path, "file", true, std::nullopt, std::nullopt, 256, 0, nullptr, 255);
    }
    void writeExtendedAttribute(const platform::URL&, const platform::Data&, const std::string&) const override {
        platform::fatal("the rotation ends it all");
    }

protected:
    using AutoRotatingFileDestination::AutoRotatingFileDestination;
};

// Rotates every `maxFileSize` bytes, without a queue, and keeps three archives; its clock
// moves a second at every reading, so that every rotation gets an archive name of its own.
class SteppingRotation : public AutoRotatingFileDestination {
public:
    static std::shared_ptr<SteppingRotation> create(const std::filesystem::path& path, const std::string& identifier,
                                                    std::uint64_t maxFileSize) {
        return createAs<SteppingRotation>(nullptr, path.string(), identifier, true, std::nullopt, std::nullopt,
                                          maxFileSize, 0, nullptr, 3);
    }

protected:
    using AutoRotatingFileDestination::AutoRotatingFileDestination;
    platform::Date currentDate() const override {
        return platform::Date::fromTimeIntervalSince1970(1714558830.0 + static_cast<double>(ticks++));
    }

private:
    static inline std::atomic<long> ticks{0};
};

std::shared_ptr<FileDestination> destinationFor(const std::string& which, const std::string& path) {
    if (which == "in-rotation") return FatalRotation::create(nullptr, path);
    if (which == "rotating") {
        return AutoRotatingFileDestination::create(nullptr, path, "file", true, std::nullopt, std::nullopt, 2048, 0,
                                                   nullptr, 255);
    }
    return FileDestination::create(nullptr, path, "file", false);
}

platform::URL fileURL(const std::filesystem::path& path) { return platform::URL::fileURL(path.string(), false); }

void bare(BaseDestination& destination) {
    destination.setShowDate(false);
    destination.setShowFileName(false);
    destination.setShowLineNumber(false);
    destination.setShowFunctionName(false);
}

int reopening(int lines, const std::filesystem::path& path) {
    auto logger = ::Scribe::Scribe::create("child", false);
    auto file = FileDestination::create(nullptr, path.string(), "file", true, std::nullopt);
    bare(*file);
    logger->add(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < lines; ++i) logger->info("line " + std::to_string(t * lines + i) + " end");
        });
    }
    const auto other = path.parent_path() / "other.log";
    for (int round = 0; round < 3000; ++round) file->setWriteToFileURL(fileURL(round % 2 ? path : other));
    for (auto& thread : threads) thread.join();
    return 0;
}

int twoRotating(int lines, const std::filesystem::path& path) {
    auto logger = ::Scribe::Scribe::create("child", false);
    auto often = AutoRotatingFileDestination::create(nullptr, path.string(), "often", true, std::nullopt, std::nullopt,
                                                     4096, 0, nullptr, 3);
    const auto good = path.parent_path() / "reopened.log", failing = path.parent_path() / "missing" / "x.log";
    auto reopened = AutoRotatingFileDestination::create(nullptr, good.string(), "reopened", true, std::nullopt,
                                                        std::nullopt, 4096, 0, nullptr, 3);
    logger->add(often);
    logger->add(reopened);
    std::thread rotating([&] {
        const std::string filler(1000, 'x');
        for (int i = 0; i < lines; ++i) logger->info("line " + std::to_string(i) + " " + filler);
    });
    for (int round = 0; round < lines; ++round) reopened->setWriteToFileURL(fileURL(round % 2 ? good : failing));
    rotating.join();
    return 0;
}

// Two rotating destinations without a queue on one logger, each rotating every few lines,
// and two threads logging to both, so that one may rotate while the other does.
struct BothRotating {
    ScribePtr logger = ::Scribe::Scribe::create("child", false);
    std::shared_ptr<AutoRotatingFileDestination> first, second;

    explicit BothRotating(const std::filesystem::path& path) {
        first = SteppingRotation::create(path, "first", 4096);
        second = SteppingRotation::create(path.parent_path() / "second.log", "second", 3000);
        logger->add(first);
        logger->add(second);
    }

    int log(int lines) {
        const std::string filler(1000, 'x');
        auto logLines = [&](const char* name) {
            for (int i = 0; i < lines; ++i) logger->info(name + std::to_string(i) + " " + filler);
        };
        std::thread other(logLines, "other ");
        logLines("line ");
        other.join();
        return 0;
    }
};

int completionsLog(int lines, const std::filesystem::path& path) {
    BothRotating both(path);
    auto* logger = both.logger.get();
    both.first->autoRotationCompletion = [logger](bool) { logger->info("the first rotated"); };
    both.second->autoRotationCompletion = [logger](bool) { logger->info("the second rotated"); };
    return both.log(lines);
}

int completionRotates(int lines, const std::filesystem::path& path) {
    BothRotating both(path);
    auto* logger = both.logger.get();
    auto* second = both.second.get();
    both.first->autoRotationCompletion = [second](bool) { second->rotate(); };
    both.second->autoRotationCompletion = [logger](bool) { logger->info("the second rotated"); };
    return both.log(lines);
}

// Logs an echo of each line whose message starts with `stream` into another logger, from
// where the destination formats it: its queue's drain, or the writing of its lines about
// itself.
class EchoFormatter : public LogFormatterProtocol {
public:
    EchoFormatter(std::string stream, std::weak_ptr<::Scribe::Scribe> other) noexcept
        : stream_(std::move(stream)), other_(std::move(other)) {}
    std::string format(LogDetails& details, std::string& message) override {
        auto other = other_.lock();
        if (other && details.message.starts_with(stream_)) other->info("echo " + details.message);
        return message;
    }
    std::string debugDescription() const override { return "EchoFormatter"; }

private:
    std::string stream_;
    std::weak_ptr<::Scribe::Scribe> other_;
};

void echoInto(BaseDestination& destination, std::string stream, const ScribePtr& other) {
    destination.setFormatters(
        FormatterList{{std::make_shared<EchoFormatter>(std::move(stream), std::weak_ptr<::Scribe::Scribe>(other))}});
}

void flushAndWait(FileDestination& destination) {
    std::promise<void> flushed;
    destination.flush([&flushed] { flushed.set_value(); });
    flushed.get_future().wait();
}

int echoing(int lines, const std::filesystem::path& path) {
    auto one = ::Scribe::Scribe::create("one", false), two = ::Scribe::Scribe::create("two", false);
    auto first = FileDestination::create(nullptr, path.string(), "file", false);
    auto second = FileDestination::create(nullptr, (path.parent_path() / "two.log").string(), "file", false);
    first->logQueue = platform::DispatchQueue::create("echo-one");
    second->logQueue = platform::DispatchQueue::create("echo-two");
    echoInto(*first, "one ", two);
    echoInto(*second, "two ", one);
    one->add(first);
    two->add(second);
    const std::string filler(4096, 'x');
    auto logLines = [&](::Scribe::Scribe& logger, const std::string& stream) {
        for (int i = 0; i < lines; ++i) logger.info(stream + std::to_string(i) + " " + filler);
    };
    std::thread other(logLines, std::ref(*two), "two ");
    logLines(*one, "one ");
    other.join();
    // Each stream's echoes are handed over while its own destination writes it.
    flushAndWait(*first);
    flushAndWait(*second);
    flushAndWait(*first);
    return 0;
}

int echoingRotations(int lines, const std::filesystem::path& path) {
    auto one = ::Scribe::Scribe::create("one", false), two = ::Scribe::Scribe::create("two", false);
    auto first = SteppingRotation::create(path, "first", 4096);
    auto second = SteppingRotation::create(path.parent_path() / "two.log", "second", 3000);
    echoInto(*first, "Rotated file ", two);
    echoInto(*second, "Rotated file ", one);
    one->add(first);
    two->add(second);
    const std::string filler(1000, 'x');
    auto logLines = [&](::Scribe::Scribe& logger) {
        for (int i = 0; i < lines; ++i) logger.info("line " + std::to_string(i) + " " + filler);
    };
    std::thread other(logLines, std::ref(*two));
    logLines(*one);
    other.join();
    return 0;
}

// Opens the log once the test closes the other end of standard input, so that two of these
// open it at the same moment.
int appending(int lines, const std::filesystem::path& path) {
    auto logger = ::Scribe::Scribe::create("child", false);
    auto file = FileDestination::create(nullptr, path.string(), "file", true);
    char byte = 'r';
    if (::write(STDOUT_FILENO, &byte, 1) != 1) return 1;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {}
    logger->add(file);
    for (int i = 0; i < lines; ++i) logger->info("line " + std::to_string(i));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string which = argv[1];
    const int lines = std::atoi(argv[2]);
    if (which == "reopening") return reopening(lines, argv[3]);
    if (which == "two-rotating") return twoRotating(lines, argv[3]);
    if (which == "appending") return appending(lines, argv[3]);
    if (which == "completions-log") return completionsLog(lines, argv[3]);
    if (which == "completion-rotates") return completionRotates(lines, argv[3]);
    if (which == "echoing") return echoing(lines, argv[3]);
    if (which == "echoing-rotations") return echoingRotations(lines, argv[3]);
    auto logger = ::Scribe::Scribe::create("child", false);
    auto queue = platform::DispatchQueue::create("last-words-child");
    auto file = destinationFor(which, argv[3]);
    file->logQueue = queue;
    if (which == "in-drain") file->setFilters(FilterList{{std::make_shared<FatalFilter>()}});
    logger->add(file);
    if (which == "suspended" || which == "in-rotation") queue->suspend();
    for (int i = 0; i < lines; ++i) logger->info("line " + std::to_string(i));
    if (which == "in-rotation") queue->resume();
    if (which == "on-queue") {
        queue->async([] { platform::fatal("a block on the log queue ends it all"); });
        waitForTheEnd();
    }
    if (which == "in-drain") logger->info("boom");
    if (which == "in-drain" || which == "in-rotation") waitForTheEnd();
    if (which == "closed-in-last-words") {
        platform::addLastWordsHandler([file](const platform::LastWords&) { file->closeLogFile(); });
    }
    if (which == "no-memory") {
        try {
            refuseMemory = true;
            platform::fatal("the logging thread ends it all");
        } catch (...) {
            return 3;  // a fatal error that throws instead of ending the process
        }
    }
    if (which == "escaped") {
        std::thread([] { throw std::runtime_error("an exception nobody caught"); }).join();
    }
    platform::fatal("the logging thread ends it all");
}
