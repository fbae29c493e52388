// Moving the filter, format and write steps of a line onto the destination's queue.
#include "logging/BaseQueuedDestination.h"

#include "logging/Scribe.h"
#include "platform/dispatch/DispatchQueue.h"

namespace Scribe {

namespace {

void pauseBriefly() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// The logging threads hold the lock only to append a line. Sleeping until one is done
// would cost a trip through the kernel on both sides (the wait, and the wake-up on
// unlock), so the queue spins briefly first.
std::unique_lock<std::mutex> lockSpinningBriefly(std::mutex& mutex) {
    for (int attempt = 0; attempt < 256; ++attempt) {
        if (mutex.try_lock()) return std::unique_lock(mutex, std::adopt_lock);
        pauseBriefly();
    }
    return std::unique_lock(mutex);
}

}  // namespace

bool BaseQueuedDestination::readsRecords(const Scribe& owner) const {
    return filters() || formatters() || owner.filters || owner.formatters;
}

void BaseQueuedDestination::output(const LogDetails& logDetails, std::string& message, const Scribe& owner) {
    if (logQueue) {
        handOver(logDetails, message, readsRecords(owner));
        return;
    }
    if (!readsRecords(owner)) {
        write(message);
        return;
    }
    LogDetails details = logDetails;
    filterFormatAndWrite(details, message);
}

void BaseQueuedDestination::handOver(const LogDetails& logDetails, const std::string& message, bool keepRecord) {
    auto record = keepRecord ? std::make_unique<LogDetails>(logDetails) : nullptr;
    {
        std::lock_guard lock(pendingMutex_);
        pending_.text += message;
        pending_.lines.push_back({pending_.text.size(), std::move(record)});
        if (drainQueued_) return;
        drainQueued_ = true;
    }
    // The queue is copied only here: its count of owners is shared with the queue's own
    // thread, and touching it for every line makes the two cores fight over it.
    auto self = std::static_pointer_cast<BaseQueuedDestination>(shared_from_this());
    if (auto queue = workQueue()) queue->async([self] { self->drainPendingLines(); });
    else drainPendingLines();  // the queue was taken away meanwhile
}

bool BaseQueuedDestination::takePendingLines(bool goIdle) {
    batch_.text.clear();
    batch_.lines.clear();
    auto lock = lockSpinningBriefly(pendingMutex_);
    if (pending_.lines.empty()) {
        if (goIdle) drainQueued_ = false;
        return false;
    }
    std::swap(batch_, pending_);
    return true;
}

void BaseQueuedDestination::drainPendingLines() {
    for (;;) {
        if (!takePendingLines(false)) {
            // Lines that arrive while the gathered ones are put out join this drain.
            didWriteLines();
            if (!takePendingLines(true)) return;
        }
        writeBatch();
    }
}

void BaseQueuedDestination::writeBatch() {
    writingBatch_ = true;
    std::size_t start = 0;
    for (auto& entry : batch_.lines) {
        line_.assign(batch_.text, start, entry.end - start);
        start = entry.end;
        if (entry.record) filterFormatAndWrite(*entry.record, line_);
        else write(line_);
    }
    writingBatch_ = false;
}

std::shared_ptr<platform::DispatchQueue> BaseQueuedDestination::workQueue() const {
    auto given = logQueue;
    if (!given || !given->isConcurrent()) return given;
    return serialWorkQueue_.write([&](SerialWorkQueue& work) {
        if (work.target != given) {
            work.serial = platform::DispatchQueue::create(given->label() + ".serial", given->qos(), {}, given);
            work.target = given;
        }
        return work.serial;
    });
}

void BaseQueuedDestination::filterFormatAndWrite(LogDetails& logDetails, std::string& message) {
    if (shouldExclude(logDetails, message)) return;
    applyFormatters(logDetails, message);
    write(message);
}

}  // namespace Scribe
