// Captures the analytics client's log lines in a test: switches the log on, registers a
// logger that keeps each message, and waits for lines already queued before reading.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

namespace LumenAnalyticsSDK::testing {

class LALogCapture {
public:
    struct Line {
        unsigned level;
        std::string message;
    };

    LALogCapture() : logger_(std::make_shared<Logger>()) {
        LALog::sharedLog().setEnableLog(true);
        LALog::sharedLog().addLogger(logger_);
    }
    ~LALogCapture() {
        LALog::sharedLog().removeLogger(logger_);
        LALog::sharedLog().setEnableLog(false);
    }
    LALogCapture(const LALogCapture&) = delete;
    LALogCapture& operator=(const LALogCapture&) = delete;

    // Every line queued so far, once the log has handed it out.
    std::vector<Line> lines() const {
        LALog::sharedLog().serialQueue()->sync([] {});
        std::lock_guard lock(logger_->mutex);
        return logger_->lines;
    }
    void clear() {
        LALog::sharedLog().serialQueue()->sync([] {});
        std::lock_guard lock(logger_->mutex);
        logger_->lines.clear();
    }

private:
    struct Logger : LAAbstractLogger {
        Logger() : LAAbstractLogger(platform::DispatchQueue::create("test.LALogCapture")) {}
        void logMessage(const LALogMessage& message) override {
            std::lock_guard lock(mutex);
            lines.push_back({message.level(), message.message()});
        }
        std::mutex mutex;
        std::vector<Line> lines;
    };
    std::shared_ptr<Logger> logger_;
};

}  // namespace LumenAnalyticsSDK::testing
