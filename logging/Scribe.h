// The logger: levels in, one record per accepted line out to each accepting destination.
// It takes no lock; configure it before logging starts.
#pragma once
#include <concepts>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "logging/CallSite.h"
#include "logging/Constants.h"
#include "logging/DestinationProtocol.h"
#include "logging/FileLocation.h"

namespace platform {
class DateFormatter;
class DispatchQueue;
}  // namespace platform

namespace Scribe {

class Scribe : public std::enable_shared_from_this<Scribe> {
public:
    using Level = ::Scribe::Level;
    // Yields the message, or nothing to log no line at all.
    using MessageClosure = std::function<std::optional<std::string>()>;

    static ScribePtr create(std::string identifier = "", bool includeDefaultDestinations = true);
    virtual ~Scribe() = default;

    // The process-wide logger for code without a logger of its own: the one installed by
    // `setDefaultInstance`, else a built-in one with a console destination.
    static ScribePtr defaultInstance();
    // Makes `logger` the process-wide logger (a program's set-up installs its own, so that
    // libraries below the program log where it does); null restores the built-in one.
    static void setDefaultInstance(ScribePtr logger);
    // A serial queue offered to destinations as their `logQueue`; never assigned by the logger itself.
    static std::shared_ptr<platform::DispatchQueue> logQueue();

    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    Level outputLevel() const { return outputLevel_; }
    // Also sets every destination's level.
    void setOutputLevel(Level level);
    const MessageClosure& noMessageClosure() const { return noMessageClosure_; }
    void setNoMessageClosure(MessageClosure closure) { noMessageClosure_ = std::move(closure); }
    std::map<Level, std::string> levelDescriptions;
    FormatterList formatters;
    FilterList filters;
    // The custom formatter when set, else the shared "yyyy-MM-dd HH:mm:ss.SSS" one; null restores it.
    std::shared_ptr<platform::DateFormatter> dateFormatter() const;
    void setDateFormatter(std::shared_ptr<platform::DateFormatter> formatter);
    // `date` as the line's date piece shows it, through `dateFormatter()`.
    std::string dateText(platform::Date date) const;
    void appendDateText(std::string& line, platform::Date date) const;
    const std::vector<DestinationPtr>& destinations() const { return destinations_; }

    // Sets levels and display flags of the console destination, optionally adds a file
    // destination (`writeToFile` a path or a file URL), then writes the banner.
    void setup(Level level, bool showLogIdentifier, bool showFunctionName, bool showThreadName, bool showLevel,
               bool showFileName, bool showLineNumber, bool showDate,
               const std::optional<FileLocation>& writeToFile = std::nullopt,
               std::optional<Level> fileLevel = std::nullopt);

    // The core of every log call: the message runs only when some destination takes the level.
    void logln(Level level, std::string_view functionName, std::string_view fileName, std::int64_t lineNumber,
               const UserInfo& userInfo, const MessageClosure& closure);
    void logln(Level level, const MessageClosure& closure, CallSite site = {}, const UserInfo& userInfo = {}) {
        logln(level, site.functionName, site.fileName, site.lineNumber, userInfo, closure);
    }

    // Runs `closure` on the caller's thread when the logger's own level admits `level`.
    void exec(Level level, const std::function<void()>& closure);
    bool isEnabledFor(Level level) const { return isAtOrAbove(level, outputLevel_); }

    // Per-level entry points: no message (the no-message closure), a text, or a closure.
#define SCRIBE_LEVEL_ENTRY_POINTS(name)                                                                                \
    void name(CallSite site = {}, const UserInfo& userInfo = {}) {                                                     \
        logln(Level::name, site.functionName, site.fileName, site.lineNumber, userInfo, noMessageClosure_);            \
    }                                                                                                                  \
    void name(std::string_view message, CallSite site = {}, const UserInfo& userInfo = {}) {                           \
        logText(Level::name, message, site, userInfo);                                                                 \
    }                                                                                                                  \
    template <class F>                                                                                                 \
        requires std::invocable<F&>                                                                                    \
    void name(F&& closure, CallSite site = {}, const UserInfo& userInfo = {}) {                                        \
        logln(Level::name, site.functionName, site.fileName, site.lineNumber, userInfo,                                \
              messageClosure(std::forward<F>(closure)));                                                               \
    }                                                                                                                  \
    void name##Exec(const std::function<void()>& closure) { exec(Level::name, closure); }
    SCRIBE_LEVEL_ENTRY_POINTS(verbose)
    SCRIBE_LEVEL_ENTRY_POINTS(debug)
    SCRIBE_LEVEL_ENTRY_POINTS(info)
    SCRIBE_LEVEL_ENTRY_POINTS(notice)
    SCRIBE_LEVEL_ENTRY_POINTS(warning)
    SCRIBE_LEVEL_ENTRY_POINTS(error)
    SCRIBE_LEVEL_ENTRY_POINTS(severe)
    SCRIBE_LEVEL_ENTRY_POINTS(alert)
    SCRIBE_LEVEL_ENTRY_POINTS(emergency)
#undef SCRIBE_LEVEL_ENTRY_POINTS

    // The two banner lines (process, version, build, PID; logger version and level), written
    // at most once to each destination until its flag is cleared.
    void logAppDetails(const DestinationPtr& selectedDestination = nullptr);
    // A line of the logging system itself. From level error up it skips `source`, so a
    // destination reporting its own failure is not written to again.
    void logInternal(const std::string& message, Level level, const DestinationPtr& source = nullptr);
    // The same for a line already made, which also never reaches `except`.
    void logInternal(const LogDetails& details, const DestinationProtocol* source,
                     const DestinationProtocol* except = nullptr);

    DestinationPtr destination(std::string_view identifier) const;
    // Refuses an identifier already present; takes the destination from its previous owner.
    bool add(const DestinationPtr& destination);
    bool remove(const DestinationPtr& destination);
    bool remove(std::string_view destinationIdentifier);

    virtual std::string typeName() const { return "Scribe"; }
    std::string debugDescription() const;

protected:
    Scribe() = default;

private:
    void logText(Level level, std::string_view message, const CallSite& site, const UserInfo& userInfo);

    template <class F>
    static MessageClosure messageClosure(F&& closure) {
        using R = std::invoke_result_t<F&>;
        if constexpr (std::is_convertible_v<R, std::optional<std::string>>) {
            return [&closure]() -> std::optional<std::string> { return closure(); };
        } else if constexpr (std::is_arithmetic_v<R>) {
            return [&closure]() -> std::optional<std::string> { return std::to_string(closure()); };
        } else {
            // An optional of something that converts to text.
            return [&closure]() -> std::optional<std::string> {
                auto value = closure();
                if (!value) return std::nullopt;
                return std::string(*value);
            };
        }
    }

    std::string identifier_;
    Level outputLevel_ = Level::debug;
    MessageClosure noMessageClosure_ = []() -> std::optional<std::string> { return std::string(); };
    std::shared_ptr<platform::DateFormatter> customDateFormatter_;
    std::vector<DestinationPtr> destinations_;
};

}  // namespace Scribe
