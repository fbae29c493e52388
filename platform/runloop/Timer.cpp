// Timers keep their schedule on the monotonic clock; fireDate() translates to wall time.
#include "platform/runloop/Timer.h"

#include <optional>
#include <utility>

#include "platform/runloop/RunLoop.h"

namespace platform {

namespace {
// A repeating timer never fires more often than this.
constexpr double kMinimumInterval = 0.0001;
}  // namespace

TimerPtr Timer::scheduledTimer(double interval, bool repeats, Block block) {
    auto timer = create(Date::fromTimeIntervalSinceNow(interval), interval, repeats, std::move(block));
    RunLoop::current()->add(timer);
    return timer;
}

TimerPtr Timer::create(Date fireDate, double interval, bool repeats, Block block) {
    return std::make_shared<Timer>(fireDate, interval, repeats, std::move(block));
}

Timer::Timer(Date fireDate, double interval, bool repeats, Block block)
    : interval_(repeats && interval < kMinimumInterval ? kMinimumInterval : interval), repeats_(repeats) {
    state_.write([&](State& state) {
        state.deadline = DispatchTime::now() + fireDate.timeIntervalSinceNow();
        state.block = std::move(block);
    });
}

void Timer::invalidate() {
    // The block is released after the lock, so whatever it holds is destroyed outside it.
    Block released = state_.write([](State& state) {
        state.valid = false;
        return std::exchange(state.block, nullptr);
    });
}

bool Timer::isValid() const { return state_.get(&State::valid); }

void Timer::fire() {
    std::optional<Block> block = state_.write([&](State& state) -> std::optional<Block> {
        if (!state.valid || state.spent) return std::nullopt;
        if (!repeats_) state.spent = true;
        return state.block;
    });
    if (!block) return;
    auto keep = shared_from_this();
    if (*block) (*block)(*this);
    if (!repeats_) invalidate();
}

Date Timer::fireDate() const { return Date::fromTimeIntervalSinceNow(state_.get(&State::deadline).secondsFromNow()); }

void Timer::setFireDate(Date date) {
    auto loop = state_.write([&](State& state) {
        state.deadline = DispatchTime::now() + date.timeIntervalSinceNow();
        return state.loop.lock();
    });
    if (loop) loop->wakeUp();
}

DispatchTime Timer::deadline() const { return state_.get(&State::deadline); }

bool Timer::fireIfDue(DispatchTime now) {
    std::optional<Block> block = state_.write([&](State& state) -> std::optional<Block> {
        if (!state.valid || state.spent || state.deadline > now) return std::nullopt;
        if (!repeats_) state.spent = true;
        if (repeats_) {
            // Missed ticks are skipped, not delivered in a burst.
            double behind = static_cast<double>(now.uptimeNanoseconds - state.deadline.uptimeNanoseconds) / 1e9;
            state.deadline = state.deadline + (static_cast<long long>(behind / interval_) + 1) * interval_;
            if (state.deadline <= now) state.deadline = now + interval_;
        }
        return state.block;
    });
    if (!block) return false;
    auto keep = shared_from_this();
    if (*block) (*block)(*this);
    if (!repeats_) invalidate();
    return true;
}

}  // namespace platform
