// The logger: destination list, the log algorithm, banner and internal lines.
#include "logging/Scribe.h"

#include <unistd.h>

#include <array>
#include <cmath>
#include <limits>

#include "logging/ConsoleDestination.h"
#include "logging/FileDestination.h"
#include "logging/ReusedPerThread.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/Bundle.h"
#include "platform/foundation/DateFormatter.h"

extern char* program_invocation_short_name;

namespace Scribe {

namespace {

constexpr std::string_view kDefaultDateFormat = "yyyy-MM-dd HH:mm:ss.SSS";

const std::shared_ptr<platform::DateFormatter>& sharedDefaultDateFormatter() {
    static const platform::NoDestructor<std::shared_ptr<platform::DateFormatter>> formatter([] {
        auto f = std::make_shared<platform::DateFormatter>();
        f->setDateFormat(std::string(kDefaultDateFormat));
        return f;
    }());
    return *formatter;
}

}  // namespace

ScribePtr Scribe::create(std::string identifier, bool includeDefaultDestinations) {
    ScribePtr logger(new Scribe());
    logger->identifier_ = std::move(identifier);
    if (includeDefaultDestinations) {
        logger->add(ConsoleDestination::create(nullptr, Constants::consoleDestinationID));
    }
    return logger;
}

namespace {

// The logger a program installed as the process-wide one, if any.
platform::Protected<ScribePtr>& installedDefault() {
    static platform::NoDestructor<platform::Protected<ScribePtr>> installed;
    return *installed;
}

}  // namespace

ScribePtr Scribe::defaultInstance() {
    if (auto installed = installedDefault().get()) return installed;
    static const platform::NoDestructor<ScribePtr> builtIn(create(Constants::defaultInstanceID, true));
    return *builtIn;
}

void Scribe::setDefaultInstance(ScribePtr logger) { installedDefault().set(std::move(logger)); }

std::shared_ptr<platform::DispatchQueue> Scribe::logQueue() {
    static const platform::NoDestructor<platform::DispatchQueuePtr> queue(
        platform::DispatchQueue::create(Constants::logQueueLabel, platform::DispatchQoS::default_));
    return *queue;
}

void Scribe::setOutputLevel(Level level) {
    outputLevel_ = level;
    for (const auto& destination : destinations_) destination->setOutputLevel(level);
}

std::shared_ptr<platform::DateFormatter> Scribe::dateFormatter() const {
    return customDateFormatter_ ? customDateFormatter_ : sharedDefaultDateFormatter();
}

void Scribe::setDateFormatter(std::shared_ptr<platform::DateFormatter> formatter) {
    customDateFormatter_ = std::move(formatter);
}

std::string Scribe::dateText(platform::Date date) const {
    std::string text;
    appendDateText(text, date);
    return text;
}

namespace {

// One thread's text of the second last formatted in the default layout ("yyyy-MM-dd
// HH:mm:ss."), valid while the formatter that made it keeps its revision. Within a
// second only the milliseconds change: time-zone changes fall on whole seconds.
struct SecondText {
    std::uint64_t revision = 0;  // no formatter has revision 0
    bool defaultLayout = false;
    std::int64_t second = std::numeric_limits<std::int64_t>::min();
    std::string text;
};

void appendMilliseconds(std::string& line, int millisecond) {
    line += static_cast<char>('0' + millisecond / 100);
    line += static_cast<char>('0' + millisecond / 10 % 10);
    line += static_cast<char>('0' + millisecond % 10);
}

}  // namespace

void Scribe::appendDateText(std::string& line, platform::Date date) const {
    const auto& formatter = customDateFormatter_ ? *customDateFormatter_ : *sharedDefaultDateFormatter();
    thread_local SecondText cached;
    // Read before the formatter is: a change made meanwhile shows as a new revision next time.
    const auto revision = formatter.revision();
    if (revision != cached.revision) {
        cached.revision = revision;
        cached.defaultLayout = formatter.dateFormat() == kDefaultDateFormat;
        cached.second = std::numeric_limits<std::int64_t>::min();
    }
    if (!cached.defaultLayout) {
        line += formatter.string(date);
        return;
    }
    const auto ms = static_cast<std::int64_t>(std::floor(date.timeIntervalSince1970() * 1000.0 + 1e-7));
    std::int64_t second = ms / 1000;
    int millisecond = static_cast<int>(ms % 1000);
    if (millisecond < 0) {
        millisecond += 1000;
        second -= 1;
    }
    if (second != cached.second) {
        auto text = formatter.string(platform::Date::fromTimeIntervalSince1970(static_cast<double>(second)));
        cached.text = text.substr(0, text.size() - 3);
        cached.second = second;
    }
    line += cached.text;
    appendMilliseconds(line, millisecond);
}

void Scribe::setup(Level level, bool showLogIdentifier, bool showFunctionName, bool showThreadName, bool showLevel,
                   bool showFileName, bool showLineNumber, bool showDate,
                   const std::optional<FileLocation>& writeToFile, std::optional<Level> fileLevel) {
    setOutputLevel(level);
    auto applyFlags = [&](BaseDestination& d) {
        d.setShowLogIdentifier(showLogIdentifier);
        d.setShowFunctionName(showFunctionName);
        d.setShowThreadName(showThreadName);
        d.setShowLevel(showLevel);
        d.setShowFileName(showFileName);
        d.setShowLineNumber(showLineNumber);
        d.setShowDate(showDate);
    };
    if (auto console = std::dynamic_pointer_cast<ConsoleDestination>(destination(Constants::consoleDestinationID))) {
        applyFlags(*console);
        console->setOutputLevel(level);
    }
    if (writeToFile) {
        auto file = FileDestination::create(nullptr, *writeToFile, Constants::fileDestinationID, false,
                                            std::string("-- ** ** ** --"), std::nullopt);
        applyFlags(*file);
        file->setOutputLevel(fileLevel.value_or(level));
        add(file);
    }
    logAppDetails();
}

namespace {

// The destinations that take a line's level, in list order, each held for the whole call:
// the message closure or a destination may change the logger's list meanwhile, and a
// destination it removes must still be whole when the line reaches it. Most lines go to one
// or two, so no heap list is made for them.
class AcceptingDestinations {
public:
    AcceptingDestinations(const std::vector<DestinationPtr>& destinations, Level level) {
        for (const auto& destination : destinations) {
            if (!destination->isEnabledFor(level)) continue;
            if (count_ < kInline) inline_[count_] = destination;
            else more_.push_back(destination);
            ++count_;
        }
    }
    bool empty() const { return count_ == 0; }
    void process(const LogDetails& details) const {
        for (std::size_t i = 0; i < count_; ++i) (i < kInline ? inline_[i] : more_[i - kInline])->process(details);
    }

private:
    static constexpr std::size_t kInline = 8;
    std::array<DestinationPtr, kInline> inline_;
    std::vector<DestinationPtr> more_;
    std::size_t count_ = 0;
};

// The record of the line being logged, reused by each thread (see ReusedPerThread).
LogDetails& fillRecord(ReusedPerThread<LogDetails>& record, Level level, std::string_view functionName,
                       std::string_view fileName, std::int64_t lineNumber, const UserInfo& userInfo) {
    LogDetails& details = record.get();
    details.level = level;
    details.date = platform::Date::now();
    details.functionName.assign(functionName);
    details.fileName.assign(fileName);
    details.lineNumber = lineNumber;
    details.userInfo = userInfo;
    return details;
}

}  // namespace

void Scribe::logln(Level level, std::string_view functionName, std::string_view fileName, std::int64_t lineNumber,
                   const UserInfo& userInfo, const MessageClosure& closure) {
    AcceptingDestinations accepting(destinations_, level);
    if (accepting.empty() || !closure) return;
    auto message = closure();
    if (!message) return;
    ReusedPerThread<LogDetails> record;
    LogDetails& details = fillRecord(record, level, functionName, fileName, lineNumber, userInfo);
    details.message = std::move(*message);
    accepting.process(details);
}

void Scribe::logText(Level level, std::string_view message, const CallSite& site, const UserInfo& userInfo) {
    AcceptingDestinations accepting(destinations_, level);
    if (accepting.empty()) return;
    ReusedPerThread<LogDetails> record;
    LogDetails& details = fillRecord(record, level, site.functionName, site.fileName, site.lineNumber, userInfo);
    details.message.assign(message);
    accepting.process(details);
}

void Scribe::exec(Level level, const std::function<void()>& closure) {
    if (isEnabledFor(level) && closure) closure();
}

void Scribe::logAppDetails(const DestinationPtr& selectedDestination) {
    auto date = platform::Date::now();
    std::string buildString;
    if (auto info = platform::Bundle::main()->infoDictionary()) {
        auto version = info->find("CFBundleShortVersionString");
        if (version != info->end() && version->second.isString()) {
            buildString += "Version: " + *version->second.asString() + " ";
        }
        auto build = info->find("CFBundleVersion");
        if (build != info->end() && build->second.isString()) {
            buildString += "Build: " + *build->second.asString() + " ";
        }
    }
    const std::string processName = program_invocation_short_name ? program_invocation_short_name : "";
    LogDetails records[2] = {
        {Level::info, date, processName + " " + buildString + "PID: " + std::to_string(::getpid()), "", "", 0,
         Constants::internalUserInfo()},
        {Level::info, date,
         std::string("Scribe Version: ") + Constants::version + " - Level: " + description(outputLevel_), "", "", 0,
         Constants::internalUserInfo()},
    };
    std::vector<DestinationPtr> targets =
        selectedDestination ? std::vector<DestinationPtr>{selectedDestination} : destinations_;
    for (const auto& target : targets) {
        if (target->haveLoggedAppDetails()) continue;
        for (const auto& record : records) {
            if (!target->isEnabledFor(Level::info)) continue;
            target->setHaveLoggedAppDetails(true);
            target->processInternal(record);
        }
    }
}

void Scribe::logInternal(const std::string& message, Level level, const DestinationPtr& source) {
    logInternal(LogDetails{level, platform::Date::now(), message, "", "", 0, Constants::internalUserInfo()},
                source.get());
}

void Scribe::logInternal(const LogDetails& details, const DestinationProtocol* source,
                         const DestinationProtocol* except) {
    // A copy: writing a line may make a destination change the list (it never should, but
    // a file destination reporting a failure must not invalidate this walk).
    auto targets = destinations_;
    const bool failure = isAtOrAbove(details.level, Level::error);
    for (const auto& destination : targets) {
        if (destination.get() == except) continue;
        if (failure && source && source->identifier() == destination->identifier()) continue;
        if (destination->isEnabledFor(details.level)) destination->processInternal(details);
    }
}

DestinationPtr Scribe::destination(std::string_view identifier) const {
    for (const auto& destination : destinations_) {
        if (destination->identifier() == identifier) return destination;
    }
    return nullptr;
}

bool Scribe::add(const DestinationPtr& destination) {
    if (!destination || this->destination(destination->identifier())) return false;
    if (auto previous = destination->owner()) previous->remove(destination);
    // A file destination opens its file when it gains an owner; not yet being in the list,
    // it receives its own "log to" line directly.
    destination->setOwner(shared_from_this());
    destinations_.push_back(destination);
    return true;
}

bool Scribe::remove(const DestinationPtr& destination) {
    if (!destination) return false;
    auto owner = destination->owner();
    if (!owner || owner.get() != this) return false;
    if (!this->destination(destination->identifier())) return false;
    destination->setOwner(nullptr);
    std::erase_if(destinations_, [](const DestinationPtr& d) { return !d->owner(); });
    return true;
}

bool Scribe::remove(std::string_view destinationIdentifier) {
    auto found = destination(destinationIdentifier);
    return found ? remove(found) : false;
}

std::string Scribe::debugDescription() const {
    std::string text = typeName() + ": " + identifier_ + " - destinations: \r";
    for (const auto& destination : destinations_) text += "\t " + destination->debugDescription() + "\r";
    return text;
}

}  // namespace Scribe
