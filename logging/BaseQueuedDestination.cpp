// Moving the filter, format and write steps of a line onto the destination's queue.
#include "logging/BaseQueuedDestination.h"

#include "logging/Scribe.h"
#include "platform/dispatch/DispatchQueue.h"

namespace Scribe {

bool BaseQueuedDestination::readsRecords() const {
    if (filters() || formatters()) return true;
    auto owner = this->owner();
    return owner && (owner->filters || owner->formatters);
}

void BaseQueuedDestination::output(const LogDetails& logDetails, std::string message) {
    if (logQueue) {
        handOver(logDetails, message);
        return;
    }
    if (!readsRecords()) {
        write(message);
        return;
    }
    LogDetails details = logDetails;
    filterFormatAndWrite(details, message);
}

void BaseQueuedDestination::handOver(const LogDetails& logDetails, const std::string& message) {
    auto queue = logQueue;
    auto record = readsRecords() ? std::make_unique<LogDetails>(logDetails) : nullptr;
    {
        std::lock_guard lock(pendingMutex_);
        pending_.text += message;
        pending_.lines.push_back({pending_.text.size(), std::move(record)});
        if (drainQueued_) return;
        drainQueued_ = true;
    }
    auto self = std::static_pointer_cast<BaseQueuedDestination>(shared_from_this());
    queue->async([self] { self->drainPendingLines(); });
}

bool BaseQueuedDestination::takePendingLines(PendingLines& batch, bool goIdle) {
    batch.text.clear();
    batch.lines.clear();
    std::lock_guard lock(pendingMutex_);
    if (pending_.lines.empty()) {
        if (goIdle) drainQueued_ = false;
        return false;
    }
    std::swap(batch, pending_);
    return true;
}

void BaseQueuedDestination::drainPendingLines() {
    PendingLines batch;
    std::string line;
    for (;;) {
        if (!takePendingLines(batch, false)) {
            // Lines that arrive while the gathered ones are put out join this drain.
            didWriteLines();
            if (!takePendingLines(batch, true)) return;
        }
        writeBatch(batch, line);
    }
}

void BaseQueuedDestination::writeBatch(PendingLines& batch, std::string& line) {
    writingBatch_ = true;
    std::size_t start = 0;
    for (auto& entry : batch.lines) {
        line.assign(batch.text, start, entry.end - start);
        start = entry.end;
        if (entry.record) filterFormatAndWrite(*entry.record, line);
        else write(line);
    }
    writingBatch_ = false;
}

void BaseQueuedDestination::filterFormatAndWrite(LogDetails& logDetails, std::string& message) {
    if (shouldExclude(logDetails, message)) return;
    applyFormatters(logDetails, message);
    write(message);
}

}  // namespace Scribe
