// Download progress told in steps: a fast download would otherwise cost the delegate a
// call for every few kilobytes. A report is due when 256 KiB have arrived or 50 ms have
// passed since the last one, and at most one report waits on the delegate queue (later
// bytes join it). Bytes held back are told when the owner's flush comes 50 ms later, and
// the rest before the task ends.
//
// The transfer's thread tells the bytes and acts on the answers; the delegate queue takes
// the figures of each report it runs. The stepper only decides; scheduling the report and
// the flush is its owner's.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/base/Protected.h"

namespace platform {

class ProgressStepper {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::int64_t stepBytes = 256 * 1024;
    static constexpr auto stepTime = std::chrono::milliseconds(50);

    // What the owner does after telling bytes.
    enum class Next {
        nothing,
        report,    // schedule a report, which takes the figures when it runs
        armFlush,  // call `flushHeld` once `stepTime` from now
    };
    // The figures of one report: the bytes since the last report, all so far, and the
    // whole expected (-1 when unknown).
    struct Figures {
        std::int64_t delta, total, expected;
    };

    explicit ProgressStepper(std::function<Clock::time_point()> now = Clock::now) : now_(std::move(now)) {}

    // The download's starting point: the bytes already there and the size expected.
    void start(std::int64_t total, std::int64_t expected);
    std::int64_t expected() const;

    Next received(std::int64_t bytes);
    // The flush armed by `received` has come: true when a report is to be scheduled.
    bool flushHeld();
    // The transfer has ended: true when the bytes not yet told need a report.
    bool finishing();
    // Run by a scheduled report: its figures, which clears the way for the next report.
    Figures take();

private:
    struct State {
        std::int64_t delta = 0, total = 0, expected = -1;
        bool scheduled = false;
        bool flushArmed = false;
        Clock::time_point lastReport{};
        bool heldBack() const { return delta > 0 && !scheduled; }
    };

    std::function<Clock::time_point()> now_;
    Protected<State> state_;
};

}  // namespace platform
