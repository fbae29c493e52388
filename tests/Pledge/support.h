// Shared helpers of the promise tests: a log recorder and a wait on the main run loop.
#pragma once
#include <mutex>
#include <vector>

#include "Pledge/Pledge.h"
#include "platform/runloop/RunLoop.h"

namespace pledge_test {

// Replaces the log handler for the lifetime of the object and records the events.
class LogRecorder {
public:
    LogRecorder() : saved_(Pledge::conf().logHandler) {
        Pledge::conf().logHandler = [this](const Pledge::LogEvent& e) {
            std::lock_guard lock(mutex_);
            events_.push_back(e.text());
        };
    }
    ~LogRecorder() { Pledge::conf().logHandler = saved_; }
    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    std::function<void(const Pledge::LogEvent&)> saved_;
    std::mutex mutex_;
    std::vector<std::string> events_;
};

// Serves the main run loop until the predicate holds (5 s at most).
inline bool runUntil(const std::function<bool()>& predicate) { return platform::RunLoop::runUntil(predicate, 5.0); }

inline platform::ErrorPtr testError(int code = 1) {
    return platform::NSError::withDescription("Test", code, "failure " + std::to_string(code));
}

}  // namespace pledge_test
