// Moving the filter, format and write steps of a line onto the destination's queue.
#include "logging/BaseQueuedDestination.h"

#include "platform/dispatch/DispatchQueue.h"

namespace Scribe {

void BaseQueuedDestination::output(const LogDetails& logDetails, std::string message) {
    auto queue = logQueue;
    if (!queue) {
        LogDetails details = logDetails;
        filterFormatAndWrite(details, message);
        return;
    }
    {
        std::lock_guard lock(pendingMutex_);
        pendingLines_.emplace_back(logDetails, std::move(message));
        if (drainQueued_) return;
        drainQueued_ = true;
    }
    auto self = std::static_pointer_cast<BaseQueuedDestination>(shared_from_this());
    queue->async([self] { self->drainPendingLines(); });
}

void BaseQueuedDestination::drainPendingLines() {
    std::vector<std::pair<LogDetails, std::string>> batch;
    for (;;) {
        {
            std::lock_guard lock(pendingMutex_);
            batch.clear();
            batch.swap(pendingLines_);
            if (batch.empty()) {
                drainQueued_ = false;
                return;
            }
        }
        for (auto& [details, message] : batch) filterFormatAndWrite(details, message);
    }
}

void BaseQueuedDestination::filterFormatAndWrite(LogDetails& logDetails, std::string& message) {
    if (shouldExclude(logDetails, message)) return;
    applyFormatters(logDetails, message);
    write(message);
}

}  // namespace Scribe
