// Building the updater's logger, its destinations and the log file's location once.
#include "updater/Log.h"

#include <cstdio>
#include <cstdlib>
#include <future>

#include "logging/AppleSystemLogDestination.h"
#include "logging/AutoRotatingFileDestination.h"
#include "logging/BaseQueuedDestination.h"
#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/ISO8601DateFormatter.h"
#include "platform/foundation/TimeZone.h"
#include "updater/AppInfo.h"

namespace Lanternfly_Updater {

namespace {

constexpr std::uint64_t kMaxLogFileSize = 0x500000;
constexpr std::uint8_t kMaxArchivedLogFiles = 10;

const platform::URL& logFileURL() {
    static const platform::NoDestructor<platform::URL> url([] {
        const auto& fileManager = platform::FileManager::defaultManager();
        auto folders = fileManager->urls(platform::SearchPathDirectory::applicationSupportDirectory);
        if (folders.empty()) platform::fatal("No Application Support folder for the log file");
        auto folder = folders.front().appendingPathComponent(AppInfo::bundleId() + "/Logs", true);
        try {
            fileManager->createDirectory(folder, true);
        } catch (const platform::ErrorException&) {
            // The file destination reports the failure to open the file instead.
        }
        return folder.appendingPathComponent("Skyreach_Updater.log", false);
    }());
    return *url;
}

std::shared_ptr<Scribe::AppleSystemLogDestination> systemDestination() {
    static const platform::NoDestructor<std::shared_ptr<Scribe::AppleSystemLogDestination>> destination([] {
        auto d = Scribe::AppleSystemLogDestination::create(nullptr, AppInfo::bundleId() + ".Log.System");
        d->setOutputLevel(Scribe::Level::none);
        d->setShowLogIdentifier(false);
        d->setShowFunctionName(true);
        d->setShowThreadName(true);
        d->setShowFileName(true);
        d->setShowLineNumber(true);
        return d;
    }());
    return *destination;
}

// The queue that makes writes happen one at a time, off the logging thread.
const platform::DispatchQueuePtr& fileQueue() {
    static const platform::NoDestructor<platform::DispatchQueuePtr> queue(
        platform::DispatchQueue::create(AppInfo::bundleId() + ".Log.File", platform::DispatchQoS::background));
    return *queue;
}

// The log file's level and line: info and above, with function, file and line number.
void showAsTheLogFile(Scribe::BaseDestination& d) {
    d.setOutputLevel(Scribe::Level::info);
    d.setShowLogIdentifier(false);
    d.setShowFunctionName(true);
    d.setShowThreadName(false);
    d.setShowFileName(true);
    d.setShowLineNumber(true);
}

std::shared_ptr<Scribe::AutoRotatingFileDestination> fileDestination() {
    static const platform::NoDestructor<std::shared_ptr<Scribe::AutoRotatingFileDestination>> destination([] {
        std::string marker = "\n-- ** " + logDateText(platform::Date::now()) + " ** --\n";
        auto d = Scribe::AutoRotatingFileDestination::create(nullptr, logFileURL(), AppInfo::bundleId() + ".Log.File",
                                                             true, marker, std::nullopt, kMaxLogFileSize, 0, nullptr,
                                                             kMaxArchivedLogFiles);
        showAsTheLogFile(*d);
        d->logQueue = fileQueue();
        return d;
    }());
    return *destination;
}

// Standard error as a destination, one line per call: where the log goes as well when its
// file cannot be made (a data folder that is read-only or not a folder), so that a run
// that refuses to go on still says why.
class StandardErrorDestination : public Scribe::BaseQueuedDestination {
public:
    static std::shared_ptr<StandardErrorDestination> create() {
        auto d = std::shared_ptr<StandardErrorDestination>(
            new StandardErrorDestination(nullptr, AppInfo::bundleId() + ".Log.StandardError"));
        showAsTheLogFile(*d);
        return d;
    }
    std::string typeName() const override { return "StandardErrorDestination"; }

protected:
    using BaseQueuedDestination::BaseQueuedDestination;
    void write(const std::string& message) override {
        const std::string line = message + "\n";  // one call, so lines do not interleave
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
};

// Lines still queued when the process ends are written before it goes. Twice: a rotation
// among the last lines queues the new file's opening lines behind the first flush.
void drainLogQueue() {
    for (int round = 0; round < 2; ++round) {
        std::promise<void> written;
        fileDestination()->flush([&written] { written.set_value(); });
        written.get_future().wait();
    }
}

}  // namespace

void finishLogging() { drainLogQueue(); }

std::string logDateText(platform::Date date) {
    return platform::ISO8601DateFormatter::string(date, platform::TimeZone::current(),
                                                  platform::ISO8601FormatOptions::withInternetDateTime);
}

Scribe::Scribe& log() {
    static const platform::NoDestructor<Scribe::ScribePtr> logger([] {
        auto l = Scribe::Scribe::create(AppInfo::bundleId() + ".Log", false);
        l->add(systemDestination());
        l->add(fileDestination());
        if (!fileDestination()->isOpen()) l->add(StandardErrorDestination::create());
        std::atexit(drainLogQueue);
        // Code below the updater (the command runner) logs through the process-wide logger.
        Scribe::Scribe::setDefaultInstance(l);
        return l;
    }());
    return **logger;
}

}  // namespace Lanternfly_Updater
