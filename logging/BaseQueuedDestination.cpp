// Moving the filter, format and write steps of a line onto the destination's queue.
#include "logging/BaseQueuedDestination.h"

#include <chrono>
#include <functional>
#include <thread>

#include "logging/Scribe.h"
#include "platform/base/LastWords.h"
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
// Past this many bytes of lines waiting, the logging thread writes them itself: the
// memory held stays bounded whatever the rate, and no line is dropped.
constexpr std::size_t kMostWaitingBytes = 4 * 1024 * 1024;
// How often the last words look whether the writing is free or held by the ending thread.
constexpr auto kLastWordsLook = std::chrono::milliseconds(2);

// A written block worth keeping: room for a block's worth, and not grown far past it by
// a very long line or a great many short ones.
template <class Block>
bool isOrdinary(const Block& block) {
    const auto room = block.text.capacity();
    return room >= kBlockBytes && room <= 2 * kBlockBytes && block.lines.capacity() <= kBlockBytes / 16;
}

// What a kept record holds, roughly: for the bound on what waits.
std::size_t recordBytes(const LogDetails& details) {
    return sizeof(LogDetails) + details.message.size() + details.functionName.size() + details.fileName.size();
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

BaseQueuedDestination::~BaseQueuedDestination() {
    if (lastWordsTicket_) platform::removeLastWordsHandler(lastWordsTicket_);
}

namespace {

// How many destinations' writings the calling thread holds, and whether it has work to run
// once it holds none: what it does there may wait for any destination's writing. Kept apart
// from the work itself so that a line's path reads plain thread-local words, never the
// guarded start of a thread-local object.
constinit thread_local int writingsHeld = 0;
constinit thread_local bool workLeft = false;

std::vector<std::function<void()>>& workLeftForLettingGo() {
    thread_local std::vector<std::function<void()>> work;
    return work;
}

void runWorkLeftForLettingGo() {
    while (workLeft) {
        auto work = std::move(workLeftForLettingGo());
        workLeftForLettingGo().clear();
        workLeft = false;
        for (auto& piece : work) {
            try {
                piece();
            } catch (...) {
                // Work left for after the writing has no caller left to report a failure to.
            }
        }
    }
}

}  // namespace

BaseQueuedDestination::Writing::Writing(const BaseQueuedDestination& destination) : destination_(destination) {
    if (destination.writesHere()) {
        ++destination.writingDepth_;
        return;
    }
    destination.writingMutex_.lock();
    destination.writer_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    destination.writingDepth_ = 1;
    ++writingsHeld;
}

BaseQueuedDestination::Writing::~Writing() {
    if (--destination_.writingDepth_ > 0) return;
    destination_.writer_.store(std::thread::id(), std::memory_order_relaxed);
    destination_.writingMutex_.unlock();
    if (--writingsHeld == 0 && workLeft) runWorkLeftForLettingGo();
}

void BaseQueuedDestination::afterWritingLetGo(std::function<void()> work) {
    if (writingsHeld == 0) return work();
    workLeftForLettingGo().push_back(std::move(work));
    workLeft = true;
}

void BaseQueuedDestination::tellOthers(LogDetails details) {
    auto self = std::static_pointer_cast<const BaseQueuedDestination>(shared_from_this());
    afterWritingLetGo([self, details = std::move(details)] { self->tellOthersNow(details); });
}

void BaseQueuedDestination::tellOthersNow(const LogDetails& details) const {
    if (auto owner = this->owner()) owner->logInternal(details, this, this);
}

bool BaseQueuedDestination::readsRecords(const Scribe& owner) const {
    return filters() || formatters() || owner.filters || owner.formatters;
}

void BaseQueuedDestination::output(const LogDetails& logDetails, std::string& message, const Scribe& owner) {
    registerLastWordsOnce();
    // Lines handed to a queue taken away since are written first, on this thread. A thread
    // that holds another destination's writing hands its line over too (see `handOver`).
    const bool queued = logQueue != nullptr;
    if (queued || drainInFlight() || writesElsewhere()) {
        handOver(logDetails, message, readsRecords(owner), queued);
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

bool BaseQueuedDestination::writesElsewhere() const { return writingsHeld > 0 && !writesHere(); }

void BaseQueuedDestination::handOver(const LogDetails& logDetails, const std::string& message, bool keepRecord,
                                     bool queued) {
    auto record = keepRecord ? std::make_unique<LogDetails>(logDetails) : nullptr;
    bool startDrain = false, tooManyWaiting = false;
    {
        std::lock_guard lock(pendingMutex_);
        Block& block = blockWithRoomFor(message.size());
        block.text += message;
        block.lines.push_back({block.text.size(), std::move(record)});
        waitingBytes_ += message.size() + (keepRecord ? recordBytes(logDetails) : 0);
        tooManyWaiting = waitingBytes_ > kMostWaitingBytes;
        if (!drainQueued_.load(std::memory_order_relaxed)) {
            drainQueued_.store(true, std::memory_order_relaxed);
            startDrain = true;
        }
    }
    // Written here: past the bound, without a queue, or when the queue was taken away
    // before the drain this line started could be queued (which the writer then ends).
    bool writeHere = tooManyWaiting || (!queued && !startDrain), endsDrain = false;
    if (startDrain && !queueTurn()) writeHere = endsDrain = true;
    if (!writeHere) return;
    if (!writesElsewhere()) {
        writeWaitingLines(endsDrain);
        return;
    }
    // A thread that holds another destination's writing (a filter or formatter of its drain
    // or of its lines about itself, logging here) never waits for this one's: its holder
    // may be waiting for the writing held here. With a queue, the drain takes the lines,
    // past the bound or not; without one, this thread writes them once it holds none.
    if (queued && !endsDrain) return;
    auto self = std::static_pointer_cast<BaseQueuedDestination>(shared_from_this());
    afterWritingLetGo([self, endsDrain] { self->writeWaitingLines(endsDrain); });
}

bool BaseQueuedDestination::queueTurn() {
    // The queue is copied only here: its count of owners is shared with the queue's own thread.
    auto queue = workQueue();
    if (!queue) return false;
    auto self = std::static_pointer_cast<BaseQueuedDestination>(shared_from_this());
    queue->async([self] { self->drainOneTurn(); });
    return true;
}

void BaseQueuedDestination::drainOneTurn() {
    if (!linesWaiting()) return;
    // The next turn is queued before this one takes a line: a block queued meanwhile runs
    // between the two, and every line output before that block was queued is taken by
    // this turn or the next, so it is written before the block runs.
    if (!queueTurn()) {
        writeWaitingLines(true);
        return;
    }
    waitForBlock();
    Writing writing(*this);
    if (!takePendingLines(false)) return;
    writeBatch();
    didWriteLines();
}

bool BaseQueuedDestination::linesWaiting() {
    auto lock = lockSpinningBriefly(pendingMutex_);
    if (!pending_.empty()) return true;
    drainQueued_.store(false, std::memory_order_release);
    return false;
}

void BaseQueuedDestination::writeWaitingLines(bool endsDrain) {
    if (writesHere()) return;
    Writing writing(*this);
    // One take, so that this thread lets go while other threads go on logging; only in
    // place of a drain does it take again, until none wait (other threads then wait to write).
    for (bool took = takePendingLines(endsDrain); took; took = endsDrain && takePendingLines(true)) writeBatch();
    didWriteLines();
}

void BaseQueuedDestination::writeHandedOverLines() {
    Writing writing(*this);
    if (writingBatch_) return;  // this thread is inside a batch: it writes the rest once the batch is done
    // One take holds every line handed over before this call (a batch is written whole by
    // whoever took it, under the writing); taking again would chase a steady stream for ever.
    if (takePendingLines(false)) writeBatch();
    didWriteLines();
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
    cursor_ = {};
    auto lock = lockSpinningBriefly(pendingMutex_);
    for (auto& block : batch_) {
        if (spare_.size() < kSpareBlocks && isOrdinary(block)) spare_.push_back(std::move(block));
    }
    batch_.clear();
}

bool BaseQueuedDestination::takePendingLines(bool endsDrain) {
    keepWrittenBlocks();
    auto lock = lockSpinningBriefly(pendingMutex_);
    if (pending_.empty()) {
        if (endsDrain) drainQueued_.store(false, std::memory_order_release);
        return false;
    }
    std::swap(batch_, pending_);
    waitingBytes_ = 0;
    return true;
}

void BaseQueuedDestination::writeBatch() {
    writingBatch_ = true;
    for (; cursor_.block < batch_.size(); ++cursor_.block, cursor_.line = 0, cursor_.start = 0) {
        auto& block = batch_[cursor_.block];
        while (cursor_.line < block.lines.size()) {
            auto& entry = block.lines[cursor_.line++];
            line_.assign(block.text, cursor_.start, entry.end - cursor_.start);
            cursor_.start = entry.end;
            if (entry.record) filterFormatAndWrite(*entry.record, line_);
            else write(line_);
        }
    }
    writingBatch_ = false;
    if (line_.capacity() > kBlockBytes) std::string().swap(line_);
}

void BaseQueuedDestination::registerLastWordsOnce() {
    if (lastWordsRegistered_.load(std::memory_order_acquire)) return;
    std::call_once(lastWordsOnce_, [this] {
        std::weak_ptr<BaseQueuedDestination> weak = std::static_pointer_cast<BaseQueuedDestination>(shared_from_this());
        lastWordsTicket_ = platform::addLastWordsHandler([weak](const platform::LastWords& words) {
            if (auto self = weak.lock()) self->sayLastWords(words);
        });
        lastWordsRegistered_.store(true, std::memory_order_release);
    });
}

bool BaseQueuedDestination::takeWritingForLastWords() {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + platform::kLastWordsTime;
    while (!writingMutex_.try_lock()) {
        // A thread ending the process never lets go, and never writes again: take over.
        if (platform::hasEnded(writer_.load(std::memory_order_relaxed))) break;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kLastWordsLook);
    }
    writer_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    writingDepth_ = 1;  // never let go: the process ends
    ++writingsHeld;
    return true;
}

void BaseQueuedDestination::sayLastWords(const platform::LastWords& words) {
    if (!takeWritingForLastWords()) return;
    prepareForLastWords();
    writeBatch();  // what is left of a batch the ending thread was writing
    didWriteLines();
    if (isEnabledFor(Level::severe)) {
        process(LogDetails{Level::severe,
                           platform::Date::now(),
                           std::string(words.message),
                           words.where.function_name(),
                           words.where.file_name(),
                           static_cast<std::int64_t>(words.where.line()),
                           {}});
    }
    while (takePendingLines(false)) writeBatch();
    didWriteLines();
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
