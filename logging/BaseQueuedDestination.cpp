// Moving the filter, format and write steps of a line onto the destination's queue.
#include "logging/BaseQueuedDestination.h"

#include <chrono>
#include <thread>

#include "logging/Scribe.h"
#include "platform/dispatch/DispatchQueue.h"

namespace Scribe {

namespace {

// Lines gather in blocks of this size, and the queue takes them once one is full: a
// logging thread that is never made to meet the queue's thread line by line, and writes
// of this size.
constexpr std::size_t kBlockBytes = 64 * 1024;
// The queue looks at the gathering lines this often while it waits for a full block, and
// takes them early when none came since its last look (the logging side has gone quiet).
// It looks instead of being woken: a wake-up would be a system call on the logging thread.
constexpr auto kLookInterval = std::chrono::microseconds(200);
// The longest the queue holds lines back waiting for a full block, so a slow stream of
// lines still reaches its destination soon and other work on the queue gets its turn.
constexpr auto kLongestHold = std::chrono::milliseconds(2);
// Written blocks kept for reuse.
constexpr std::size_t kSpareBlocks = 4;

// A written block worth keeping: room for a block's worth, and not grown far past it by
// a very long line or a great many short ones.
template <class Block>
bool isOrdinary(const Block& block) {
    const auto room = block.text.capacity();
    return room >= kBlockBytes && room <= 2 * kBlockBytes && block.lines.capacity() <= kBlockBytes / 16;
}

void pauseBriefly() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// The logging threads hold the lock only to append a line. Sleeping until one is done
// would make that thread wake this one on unlock, a trip through the kernel on the
// logging side, so the queue spins briefly first.
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
    // A drain still in flight on a queue taken away writes this line too, after the ones before it.
    if (logQueue || drainInFlight()) {
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

bool BaseQueuedDestination::drainInFlight() const { return drainQueued_.load(std::memory_order_acquire); }

void BaseQueuedDestination::handOver(const LogDetails& logDetails, const std::string& message, bool keepRecord) {
    auto record = keepRecord ? std::make_unique<LogDetails>(logDetails) : nullptr;
    {
        std::lock_guard lock(pendingMutex_);
        Block& block = blockWithRoomFor(message.size());
        block.text += message;
        block.lines.push_back({block.text.size(), std::move(record)});
        if (drainQueued_.load(std::memory_order_relaxed)) return;
        drainQueued_.store(true, std::memory_order_relaxed);
    }
    // The queue is copied only here: its count of owners is shared with the queue's own thread.
    auto self = std::static_pointer_cast<BaseQueuedDestination>(shared_from_this());
    if (auto queue = workQueue()) queue->async([self] { self->drainPendingLines(true); });
    else drainPendingLines(false);  // the queue was taken away meanwhile: write at once
}

BaseQueuedDestination::Block& BaseQueuedDestination::blockWithRoomFor(std::size_t bytes) {
    const bool full =
        pending_.empty() || (!pending_.back().lines.empty() && pending_.back().text.size() + bytes > kBlockBytes);
    if (!full) return pending_.back();
    if (spare_.empty()) {
        pending_.emplace_back().text.reserve(kBlockBytes);
    } else {
        pending_.push_back(std::move(spare_.back()));
        spare_.pop_back();
    }
    return pending_.back();
}

void BaseQueuedDestination::waitForBlock() {
    using Clock = std::chrono::steady_clock;
    const auto holdEnds = Clock::now() + kLongestHold;
    std::size_t seen = 0;  // lines in the block being filled, at the last look
    for (;;) {
        {
            auto lock = lockSpinningBriefly(pendingMutex_);
            if (pending_.size() != 1) return;  // a full block, or nothing
            const auto lines = pending_.back().lines.size();
            if (lines == seen) return;  // quiet
            seen = lines;
        }
        if (Clock::now() >= holdEnds) return;
        std::this_thread::sleep_for(kLookInterval);
    }
}

void BaseQueuedDestination::keepWrittenBlocks() {
    for (auto& block : batch_) {
        block.text.clear();
        block.lines.clear();
    }
    auto lock = lockSpinningBriefly(pendingMutex_);
    for (auto& block : batch_) {
        if (spare_.size() < kSpareBlocks && isOrdinary(block)) spare_.push_back(std::move(block));
    }
    batch_.clear();
}

bool BaseQueuedDestination::takePendingLines(bool gather) {
    keepWrittenBlocks();
    if (gather) waitForBlock();
    auto lock = lockSpinningBriefly(pendingMutex_);
    if (pending_.empty()) {
        drainQueued_.store(false, std::memory_order_release);
        return false;
    }
    std::swap(batch_, pending_);
    return true;
}

void BaseQueuedDestination::drainPendingLines(bool gather) {
    while (takePendingLines(gather)) {
        writeBatch();
        didWriteLines();
    }
}

void BaseQueuedDestination::writeBatch() {
    writingBatch_ = true;
    for (auto& block : batch_) {
        std::size_t start = 0;
        for (auto& entry : block.lines) {
            line_.assign(block.text, start, entry.end - start);
            start = entry.end;
            if (entry.record) filterFormatAndWrite(*entry.record, line_);
            else write(line_);
        }
    }
    writingBatch_ = false;
    if (line_.capacity() > kBlockBytes) std::string().swap(line_);
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
