// The base of the analytics log's loggers: each is handed messages on its own queue.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Utils/LALogMessage.h"
#include "platform/dispatch/DispatchQueue.h"

namespace LumenAnalyticsSDK {

class LAAbstractLogger {
public:
    virtual ~LAAbstractLogger() = default;

    // The queue on which the hub hands this logger its messages.
    const platform::DispatchQueuePtr& loggerQueue() const { return loggerQueue_; }
    void setLoggerQueue(platform::DispatchQueuePtr queue) { loggerQueue_ = std::move(queue); }

    // Does nothing; loggers override it.
    virtual void logMessage(const LALogMessage&) {}

protected:
    explicit LAAbstractLogger(platform::DispatchQueuePtr queue) : loggerQueue_(std::move(queue)) {}

private:
    platform::DispatchQueuePtr loggerQueue_;
};

using LALoggerPtr = std::shared_ptr<LAAbstractLogger>;

}  // namespace LumenAnalyticsSDK
