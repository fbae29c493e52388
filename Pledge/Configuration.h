// The process-wide promise configuration `conf()`: default queues of handlers, the
// default catch policy, and where the library's warnings (`LogEvent`) go.
#pragma once
#include <functional>
#include <string>

#include "Pledge/Error.h"
#include "platform/base/Error.h"
#include "platform/dispatch/DispatchWorkItem.h"

namespace Pledge {

class LogEvent {
public:
    enum class Kind {
        waitOnMainThread,
        pendingPromiseDeallocated,
        pendingGuaranteeDeallocated,
        cauterized,
        ensureRaised
    };

    static LogEvent waitOnMainThread() { return LogEvent(Kind::waitOnMainThread); }
    static LogEvent pendingPromiseDeallocated() { return LogEvent(Kind::pendingPromiseDeallocated); }
    static LogEvent pendingGuaranteeDeallocated() { return LogEvent(Kind::pendingGuaranteeDeallocated); }
    static LogEvent cauterized(platform::ErrorPtr error) { return LogEvent(Kind::cauterized, std::move(error)); }
    // An ensure block of a runtime-facing promise raised; the outcome passed on unchanged.
    static LogEvent ensureRaised(platform::ErrorPtr error) { return LogEvent(Kind::ensureRaised, std::move(error)); }

    Kind kind() const { return kind_; }
    // The swallowed error of `cauterized` and `ensureRaised`; null for the other events.
    const platform::ErrorPtr& error() const { return error_; }
    // The line the default handler prints (without the line feed).
    std::string text() const;

private:
    std::string errorText() const;
    explicit LogEvent(Kind kind, platform::ErrorPtr error = nullptr) : kind_(kind), error_(std::move(error)) {}
    Kind kind_;
    platform::ErrorPtr error_;
};

struct PLGConfiguration {
    struct Queues {
        // A null queue means: run the handler inline, on the resolving thread.
        platform::DispatchQueuePtr map;
        platform::DispatchQueuePtr return_;
    };
    Queues Q;
    CatchPolicy catchPolicy = CatchPolicy::allErrorsExceptCancellation;
    std::function<void(const LogEvent&)> logHandler;
};

// Prints the event's text and a line feed to standard output.
void defaultLogHandler(const LogEvent& event);

// The one configuration, made on first use (both queues the main queue). Read it at the
// moment a default is needed; writers must not race with readers.
PLGConfiguration& conf();

// Hands the event to the configured handler, on the calling thread.
void emit(const LogEvent& event);

}  // namespace Pledge
