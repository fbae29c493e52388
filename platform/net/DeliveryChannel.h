// What the I/O thread hands to the delegate queue without waiting for it: received bytes
// and progress figures, taken by whichever delivery runs next. The I/O thread puts in and
// is told when a delivery is to be scheduled (at most one of each kind waits at a time);
// the delivery takes out under the same lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/base/Data.h"
#include "platform/net/ProgressStepper.h"

namespace platform {

class DeliveryChannel {
public:
    // Above this many bytes waiting for the delegate, the transfer is to pause.
    static constexpr std::size_t maxPendingBytes = 4 * 1024 * 1024;

    struct Appended {
        bool schedule;  // a delivery of the bytes is to be scheduled
        bool behind;    // the delegate is behind: pause the transfer
    };
    struct Chunk {
        Data bytes;
        bool resume;  // the transfer paused for this delegate may go on
    };

    // Bytes wait, unscheduled, until the delegate has answered the response.
    void hold();
    // Ends a hold: true when bytes wait and a delivery is to be scheduled.
    bool release();
    Appended append(const char* data, std::size_t length);
    // Run by a scheduled delivery: all the bytes waiting.
    Chunk takeBytes();

    void expectUpload(std::int64_t expected);
    // Body bytes sent: true when a report is to be scheduled.
    bool sent(std::int64_t bytes);
    // Run by a scheduled upload report: its figures.
    ProgressStepper::Figures takeUpload();

    // Download progress keeps its own lock.
    ProgressStepper downloadProgress;

private:
    struct State {
        Data pending;
        bool bytesScheduled = false;
        bool backpressured = false;
        bool holding = false;
        bool uploadScheduled = false;
        std::int64_t uploadDelta = 0, uploadTotal = 0, uploadExpected = 0;
        // True when no delivery of bytes waits yet; one does from now on.
        bool scheduleBytes() { return !std::exchange(bytesScheduled, true); }
    };
    Protected<State> state_;
};

}  // namespace platform
