// The analytics client's own levelled log, apart from the application's logger: call
// sites hand over a level, their source position and a text; the hub passes each message,
// on its serial queue, to every registered logger in turn. Off until switched on.
#pragma once
#include <atomic>
#include <memory>
#include <source_location>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Utils/LAAbstractLogger.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/DateFormatter.h"

namespace LumenAnalyticsSDK {

// Bit values: a larger value is more verbose.
enum LALogLevel : unsigned {
    LALogLevelError = 1,
    LALogLevelWarn = 2,
    LALogLevelInfo = 4,
    LALogLevelDebug = 8,
    LALogLevelVerbose = 16,
};

// The level's mark and name for a log line; both empty for a value that is not a level.
const char* LALogLevelMark(unsigned level);
const char* LALogLevelName(unsigned level);

class LALog {
public:
    // The process-wide hub, made on first use and never destroyed.
    static LALog& sharedLog();
    // Writes the time of every formatted line: "yyyy-MM-dd HH:mm:ss.SSSSSSZ", local time.
    static const platform::DateFormatter& dateFormatter();
    // The hub's serial queue "cn.lumen.LALogSerialQueue".
    const platform::DispatchQueuePtr& serialQueue() const { return serialQueue_; }

    bool enableLog() const { return enableLog_.load(std::memory_order_relaxed); }
    void setEnableLog(bool enable) { enableLog_.store(enable, std::memory_order_relaxed); }

    // What call sites use (through the LALog… macros): nothing happens while the shared
    // hub is off.
    static void log(bool asynchronous, unsigned level, const char* file, const char* function, unsigned line,
                    long context, std::string message);
    // Queues one message for the loggers; a message without file or function is dropped.
    // Asynchronous calls never wait; synchronous ones return once every logger had it.
    void log(bool asynchronous, std::string message, unsigned level, const char* file, const char* function,
             unsigned line, long context);

    // A logger already listed is not added twice.
    void addLogger(const LALoggerPtr& logger);
    // Appends them all, then keeps each logger only at its first place.
    void addLoggers(const std::vector<LALoggerPtr>& loggers);
    void removeLogger(const LALoggerPtr& logger);
    void removeLoggers(const std::vector<LALoggerPtr>& loggers);
    void removeAllLoggers();
    std::vector<LALoggerPtr> loggers() const;

private:
    friend class platform::NoDestructor<LALog>;
    LALog();
    void queueLogMessage(const LALogMessagePtr& message, bool asynchronously);
    void handOut(const LALogMessage& message);

    std::atomic<bool> enableLog_{false};
    platform::DispatchQueuePtr serialQueue_;
    platform::Protected<std::vector<LALoggerPtr>> loggers_;
};

// "Class::method" from the compiler's full signature of a function: the name a log
// line shows (return type, parameters and the client's namespace left out).
std::string LALogFunctionName(const std::source_location& where);

}  // namespace LumenAnalyticsSDK

// The text is only built while the log is on.
#define LUMEN_LOG_AT(level, text)                                                                                      \
    do {                                                                                                               \
        if (::LumenAnalyticsSDK::LALog::sharedLog().enableLog()) {                                                     \
            const auto lumenLogWhere = std::source_location::current();                                                \
            ::LumenAnalyticsSDK::LALog::log(true, (level), lumenLogWhere.file_name(),                                  \
                                            ::LumenAnalyticsSDK::LALogFunctionName(lumenLogWhere).c_str(),             \
                                            lumenLogWhere.line(), 0, (text));                                          \
        }                                                                                                              \
    } while (0)

#define LALogError(text) LUMEN_LOG_AT(::LumenAnalyticsSDK::LALogLevelError, text)
#define LALogWarn(text) LUMEN_LOG_AT(::LumenAnalyticsSDK::LALogLevelWarn, text)
#define LALogInfo(text) LUMEN_LOG_AT(::LumenAnalyticsSDK::LALogLevelInfo, text)
#define LALogDebug(text) LUMEN_LOG_AT(::LumenAnalyticsSDK::LALogLevelDebug, text)
#define LALogVerbose(text) LUMEN_LOG_AT(::LumenAnalyticsSDK::LALogLevelVerbose, text)
