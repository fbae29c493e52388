// Run-loop timers: a block that fires on the run loop of the thread the timer was
// scheduled on, once or repeatedly. A timer fires only while that loop runs.
#pragma once
#include <functional>
#include <memory>

#include "platform/base/Date.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchTime.h"

namespace platform {

class Timer;
using TimerPtr = std::shared_ptr<Timer>;
class RunLoop;

class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Block = std::function<void(Timer&)>;

    // Makes a timer that first fires `interval` seconds from now and adds it to the
    // current thread's run loop, which keeps it until it is invalidated.
    static TimerPtr scheduledTimer(double interval, bool repeats, Block block);
    // A timer not yet added to a run loop (see RunLoop::add).
    static TimerPtr create(Date fireDate, double interval, bool repeats, Block block);
    Timer(Date fireDate, double interval, bool repeats, Block block);

    // Stops the timer for good; it is removed from its run loop.
    void invalidate();
    bool isValid() const;
    // Runs the block now, on the calling thread; a non-repeating timer is then invalid.
    // The regular schedule of a repeating timer is unchanged.
    void fire();

    Date fireDate() const;
    void setFireDate(Date date);
    double timeInterval() const { return interval_; }
    bool repeats() const { return repeats_; }
    // Kept for callers that set it; firing is not moved by it.
    double tolerance() const { return tolerance_; }
    void setTolerance(double tolerance) { tolerance_ = tolerance; }

private:
    friend class RunLoop;
    // Called by the run loop: fires when due and reschedules. Answers whether it fired.
    bool fireIfDue(DispatchTime now);
    DispatchTime deadline() const;

    struct State {
        DispatchTime deadline;
        bool valid = true;
        // A one-shot timer is spent once its block starts, so a nested run of the loop
        // inside that block cannot fire it again.
        bool spent = false;
        Block block;
        std::weak_ptr<RunLoop> loop;  // set when added to a loop
    };
    const double interval_;
    const bool repeats_;
    double tolerance_ = 0;
    Protected<State> state_;
};

}  // namespace platform
