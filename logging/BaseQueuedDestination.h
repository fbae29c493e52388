// A destination that filters, formats and writes each line, on the logging thread or,
// when it has one, on its own queue.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logging/BaseDestination.h"
#include "platform/base/Protected.h"

namespace platform {
class DispatchQueue;
struct LastWords;
}  // namespace platform

namespace Scribe {

class BaseQueuedDestination : public BaseDestination {
public:
    ~BaseQueuedDestination() override;

    // Applies to lines output after the change. Lines handed to the previous queue and not
    // yet written are written before any later line: by the first line output without a
    // queue (on the caller's thread, never waiting for that queue), by a flush or close of
    // the file, or by the previous queue's drain, which goes on on the new queue. A serial queue runs
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
    // After each batch of handed-over lines went through `write`, by the thread that wrote
    // them and before it lets go of the writing: the moment to put gathered lines out.
    virtual void didWriteLines() {}
    // True while the calling thread writes handed-over lines, so more are coming (or `didWriteLines`).
    bool isWritingBatch() const { return writesHere() && writingBatch_; }
    // Before the last words are written by a thread that took the writing over from the
    // thread ending the process, which may have left the destination half changed.
    virtual void prepareForLastWords() {}

    // The right to write lines and to touch what they are written to (the file, its
    // handle, the lines gathered for it): held by the queue's drain for a batch, by the
    // file work (on the queue, or on the calling thread without one), by a thread that
    // writes waiting lines itself (no queue any more, too many lines waiting, the last
    // words), and by a file destination's logging thread without a queue, for its line.
    // Taken again by the thread that holds it, it nests. While a thread holds any
    // destination's writing it never waits for another destination's: what would wait is
    // left for when it holds none (`afterWritingLetGo`), and lines it hands to a queue are
    // never written by it past the bound on waiting lines.
    class Writing {
    public:
        explicit Writing(const BaseQueuedDestination& destination);
        ~Writing();
        Writing(const Writing&) = delete;
        Writing& operator=(const Writing&) = delete;

    private:
        const BaseQueuedDestination& destination_;
    };
    // Writes every line handed over and still waiting, whichever queue it was handed to,
    // holding the writing: file work (flush, close, and so reopening and rotating) does
    // this first, so it comes after every line handed over before it. A thread inside a
    // batch of its own leaves them to that batch's writer, which writes them next.
    void writeHandedOverLines();
    // Runs `work` at once, or, while the calling thread holds any destination's writing,
    // once it holds none (in the order given): work that may log, rotate or flush, and so
    // wait for another destination's writing (a rotation's completion, lines about a file).
    // A failure of work left for later is not reported.
    void afterWritingLetGo(std::function<void()> work);
    // Hands a line about this destination (its file opened, moved aside, rotated, failing)
    // to its owner's other destinations, through `afterWritingLetGo`. So no destination
    // waits for another's writing while it holds its own, however many share a logger.
    void tellOthers(LogDetails details);
    // True when the calling thread holds the writing.
    bool writesHere() const { return writer_.load(std::memory_order_relaxed) == std::this_thread::get_id(); }
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
    // True when the calling thread holds another destination's writing.
    bool writesElsewhere() const;
    // `queued`: the line was output with a `logQueue`; without one it is written before this
    // returns, or, by a thread holding another destination's writing, once it holds none.
    void handOver(const LogDetails& logDetails, const std::string& message, bool keepRecord, bool queued);
    // Queues a turn of the drain; false when there is no work queue.
    bool queueTurn();
    // One turn of the drain: queues the next turn, then writes one batch, so the blocks
    // queued meanwhile run between the two. Ends when no line waits.
    void drainOneTurn();
    // The calling thread writes every waiting line itself, after the batch being written
    // (unless it writes already: then the writing it is in takes them). `endsDrain` as for
    // `takePendingLines`.
    void writeWaitingLines(bool endsDrain);
    // True when lines wait; else false, and the drain ends (the next hand-over queues one).
    bool linesWaiting();
    // The block that takes a line of `bytes`: the one being filled while it has room.
    Block& blockWithRoomFor(std::size_t bytes);
    // Swaps the handed-over blocks into `batch_`, after giving the written ones back; when
    // there are none, false, and with `endsDrain` the next hand-over queues a new drain.
    bool takePendingLines(bool endsDrain);
    void keepWrittenBlocks();
    // Holds the queue until a block is full, the logging side has gone quiet, or the lines
    // have waited long enough.
    void waitForBlock();
    // Writes `batch_` from the next line not yet taken up (see `Cursor`).
    void writeBatch();

    void tellOthersNow(const LogDetails& details) const;

    // Writes what the destination holds, then the line that says why the process ends,
    // straight to its file: on a thread of the last words, once it holds the writing or
    // has taken it over from a thread ending the process (which never lets go).
    void sayLastWords(const platform::LastWords& words);
    bool takeWritingForLastWords();
    void registerLastWordsOnce();

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
    // Bytes of the lines in `pending_`; past a few megabytes the logging thread writes them.
    std::size_t waitingBytes_ = 0;
    // Changed under the lock; read without it on the path that has no queue.
    std::atomic<bool> drainQueued_ = false;

    // The writing (see `Writing`): the thread that holds it, and how often it took it.
    mutable std::mutex writingMutex_;
    mutable std::atomic<std::thread::id> writer_;
    mutable int writingDepth_ = 0;

    // Touched only by the thread that holds the writing.
    alignas(64) std::vector<Block> batch_;
    // The next line of `batch_` to write. It moves past a line before the line is written,
    // so a writer taking over from a thread that ended the process inside a line's filter,
    // formatter or write goes on after that line.
    struct Cursor {
        std::size_t block = 0, line = 0, start = 0;
    };
    Cursor cursor_;
    std::string line_;
    bool writingBatch_ = false;

    std::atomic<bool> lastWordsRegistered_ = false;
    std::once_flag lastWordsOnce_;
    std::uint64_t lastWordsTicket_ = 0;
};

}  // namespace Scribe
