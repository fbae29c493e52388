// Timers keep their schedule on the monotonic clock; fireDate() translates to wall time.
#include "platform/runloop/Timer.h"

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
    : deadline_(DispatchTime::now() + fireDate.timeIntervalSinceNow()),
      interval_(repeats && interval < kMinimumInterval ? kMinimumInterval : interval), repeats_(repeats),
      block_(std::move(block)) {}

void Timer::invalidate() {
    Block released;
    {
        std::lock_guard lock(mutex_);
        valid_ = false;
        released.swap(block_);
    }
}

bool Timer::isValid() const {
    std::lock_guard lock(mutex_);
    return valid_;
}

void Timer::fire() {
    Block block;
    {
        std::lock_guard lock(mutex_);
        if (!valid_ || spent_) return;
        if (!repeats_) spent_ = true;
        block = block_;
    }
    auto keep = shared_from_this();
    if (block) block(*this);
    if (!repeats_) invalidate();
}

Date Timer::fireDate() const {
    std::lock_guard lock(mutex_);
    return Date::fromTimeIntervalSinceNow(deadline_.secondsFromNow());
}

void Timer::setFireDate(Date date) {
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        deadline_ = DispatchTime::now() + date.timeIntervalSinceNow();
        loop = loop_.lock();
    }
    if (loop) loop->wakeUp();
}

DispatchTime Timer::deadline() const {
    std::lock_guard lock(mutex_);
    return deadline_;
}

bool Timer::fireIfDue(DispatchTime now) {
    Block block;
    {
        std::lock_guard lock(mutex_);
        if (!valid_ || spent_ || deadline_ > now) return false;
        if (!repeats_) spent_ = true;
        if (repeats_) {
            // Missed ticks are skipped, not delivered in a burst.
            double behind = static_cast<double>(now.uptimeNanoseconds - deadline_.uptimeNanoseconds) / 1e9;
            deadline_ = deadline_ + (static_cast<long long>(behind / interval_) + 1) * interval_;
            if (deadline_ <= now) deadline_ = now + interval_;
        }
        block = block_;
    }
    auto keep = shared_from_this();
    if (block) block(*this);
    if (!repeats_) invalidate();
    return true;
}

}  // namespace platform
