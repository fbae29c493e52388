// A destination that filters, formats and writes each line, on the logging thread or,
// when it has one, on its own queue.
#pragma once
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
    // Applies to lines output after the change. A serial queue runs the destination's
    // work itself; on a concurrent one it runs on a private serial queue that targets it
    // (`workQueue`), so writes still arrive one at a time. On a serial queue a block
    // submitted after a line was output runs after that line's `write` and `didWriteLines`.
    std::shared_ptr<platform::DispatchQueue> logQueue;

protected:
    using BaseDestination::BaseDestination;
    void output(const LogDetails& logDetails, std::string& message, const Scribe& owner) override;
    // The finished line, after filters and formatters.
    virtual void write(const std::string& message) = 0;
    // On the queue, after the lines handed over so far went through `write` and before
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
    // Lines handed to the queue, back to back in one text. A line keeps its record only
    // when filters or formatters will read it (as the lists stand at the hand-over), so
    // the usual line costs no copy of it.
    struct PendingLines {
        struct Line {
            std::size_t end;
            std::unique_ptr<LogDetails> record;
        };
        std::string text;
        std::vector<Line> lines;
    };

    // Filters or formatters apply to this destination's lines (its own lists or its owner's).
    bool readsRecords(const Scribe& owner) const;
    void handOver(const LogDetails& logDetails, const std::string& message, bool keepRecord);
    // Writes every line handed over so far, including those that arrive meanwhile.
    void drainPendingLines();
    // Swaps the handed-over lines into `batch_`; when there are none, false, and with
    // `goIdle` the next hand-over queues a new drain.
    bool takePendingLines(bool goIdle);
    void writeBatch();

    // The private serial queue made for a concurrent `logQueue`, and the queue it targets.
    struct SerialWorkQueue {
        std::shared_ptr<platform::DispatchQueue> target;
        std::shared_ptr<platform::DispatchQueue> serial;
    };
    mutable platform::Protected<SerialWorkQueue> serialWorkQueue_;

    // One block drains the lines, so a burst costs one hand-over to the queue instead of
    // one per line; order is kept.
    std::mutex pendingMutex_;
    PendingLines pending_;
    bool drainQueued_ = false;
    // Touched only on the queue, on cache lines of their own; the two texts keep their
    // memory from drain to drain.
    alignas(64) PendingLines batch_;
    std::string line_;
    bool writingBatch_ = false;
};

}  // namespace Scribe
