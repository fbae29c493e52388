// A program that logs lines through a queued file destination and then ends on a fatal
// error, the way the last words test asks: the test counts the lines in the file after.
// One case ends normally, for tests that run two of these at once on one log.
// Usage: last_words_child <case> <lines> <log file>
//   ordinary   fatal on the logging thread
//   suspended  the destination's queue is suspended and never resumed
//   on-queue   fatal in a block on the destination's queue, behind the lines
//   in-drain   fatal in a filter, while the queue writes the line after the others
//   rotating   a file rotated every few lines, fatal from the logging thread
//   in-rotation  fatal in the middle of the first rotation on the queue (among the file's
//                opening lines), after the file is moved; the lines wait for it
//   escaped    an exception escapes a thread to std::terminate
//   appending  says it is ready on its standard output, waits for its standard input to
//              end, appends the lines to the file without a queue and returns 0
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "logging/AutoRotatingFileDestination.h"
#include "logging/FilterProtocol.h"
#include "logging/Scribe.h"
#include "platform/base/Fatal.h"
#include "platform/dispatch/DispatchQueue.h"

using namespace ::Scribe;

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

std::shared_ptr<FileDestination> destinationFor(const std::string& which, const std::string& path) {
    if (which == "in-rotation") return FatalRotation::create(nullptr, path);
    if (which == "rotating") {
        return AutoRotatingFileDestination::create(nullptr, path, "file", true, std::nullopt, std::nullopt, 2048, 0,
                                                   nullptr, 255);
    }
    return FileDestination::create(nullptr, path, "file", false);
}

// Opens the log once the test closes the other end of standard input, so that two of these
// open it at the same moment.
int appendLines(const std::string& path, int lines) {
    auto logger = ::Scribe::Scribe::create("child", false);
    auto file = FileDestination::create(nullptr, path, "file", true);
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
    if (which == "appending") return appendLines(argv[3], lines);
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
    if (which == "escaped") {
        std::thread([] { throw std::runtime_error("an exception nobody caught"); }).join();
    }
    platform::fatal("the logging thread ends it all");
}
