// A destination that filters, formats and writes each line, on the logging thread or,
// when it has one, on its own queue.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "logging/BaseDestination.h"
#include "platform/base/Protected.h"

namespace platform {
class DispatchQueue;
}

namespace Scribe {

class BaseQueuedDestination : public BaseDestination {
public:
    // Applies to lines output after the change; lines output while the previous queue
    // still drains lines handed to it join that drain, behind them. A serial queue runs
    // the destination's work itself; on a concurrent one it runs on a private serial queue
    // that targets it (`workQueue`), so writes still arrive one at a time. On a serial
    // queue a block submitted after a line was output runs after that line's `write` and
    // `didWriteLines`.
    std::shared_ptr<platform::DispatchQueue> logQueue;

protected:
    using BaseDestination::BaseDestination;
    void output(const LogDetails& logDetails, std::string& message, const Scribe& owner) override;
    // The finished line, after filters and formatters.
    virtual void write(const std::string& message) = 0;
    // On the queue, after each batch of handed-over lines went through `write` and before
    // the queue runs anything else: the moment to put gathered lines out.
    virtual void didWriteLines() {}
    // True while the queue writes handed-over lines, so more are coming (or `didWriteLines`).
    bool isWritingBatch() const { return writingBatch_; }
    // Filters, formats and writes one line.
    void filterFormatAndWrite(LogDetails& logDetails, std::string& message);
    // Where the queued work of this destination runs, one block at a time: `logQueue` when
    // it is serial, else a private serial queue targeting it; none without a `logQueue`.
    std::shared_ptr<platform::DispatchQueue> workQueue() const;

private:
    // Lines handed to the queue, back to back in blocks of text of a fixed size: a logging
    // thread never waits for a block to be moved as it grows, and blocks the queue has
    // written are filled again. A line keeps its record only when filters or formatters
    // will read it (as the lists stand at the hand-over), so the usual line costs no copy of it.
    struct Block {
        struct Line {
            std::size_t end;
            std::unique_ptr<LogDetails> record;
        };
        std::string text;
        std::vector<Line> lines;
    };

    // Filters or formatters apply to this destination's lines (its own lists or its owner's).
    bool readsRecords(const Scribe& owner) const;
    // True while a drain is queued or running, so a line must join it to keep its place.
    bool drainInFlight() const;
    void handOver(const LogDetails& logDetails, const std::string& message, bool keepRecord);
    // Writes every line handed over so far, including those that arrive meanwhile; with
    // `gather`, waits for a full block first (see `waitForBlock`).
    void drainPendingLines(bool gather);
    // The block that takes a line of `bytes`: the one being filled while it has room.
    Block& blockWithRoomFor(std::size_t bytes);
    // Swaps the handed-over blocks into `batch_`, after giving the written ones back; when
    // there are none, false, and the next hand-over queues a new drain.
    bool takePendingLines(bool gather);
    void keepWrittenBlocks();
    // Holds the queue until a block is full, the logging side has gone quiet, or the lines
    // have waited long enough.
    void waitForBlock();
    void writeBatch();

    // The private serial queue made for a concurrent `logQueue`, and the queue it targets.
    struct SerialWorkQueue {
        std::shared_ptr<platform::DispatchQueue> target;
        std::shared_ptr<platform::DispatchQueue> serial;
    };
    mutable platform::Protected<SerialWorkQueue> serialWorkQueue_;

    // What the logging threads write for each line, on cache lines of their own: the
    // queue's thread touches them only when it looks or takes (see `waitForBlock`), so a
    // logging thread's cost per line stays on its core.
    alignas(64) std::mutex pendingMutex_;
    std::vector<Block> pending_;  // the last one is being filled
    std::vector<Block> spare_;    // written, emptied, ready to be filled again
    // Changed under the lock; read without it on the path that has no queue.
    std::atomic<bool> drainQueued_ = false;
    // Touched only on the queue.
    alignas(64) std::vector<Block> batch_;
    std::string line_;
    bool writingBatch_ = false;
};

}  // namespace Scribe
