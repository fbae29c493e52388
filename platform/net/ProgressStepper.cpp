#include "platform/net/ProgressStepper.h"

namespace platform {

void ProgressStepper::start(std::int64_t total, std::int64_t expected) {
    std::lock_guard lock(mutex_);
    total_ = total;
    expected_ = expected;
}

std::int64_t ProgressStepper::expected() const {
    std::lock_guard lock(mutex_);
    return expected_;
}

ProgressStepper::Next ProgressStepper::received(std::int64_t bytes) {
    std::lock_guard lock(mutex_);
    delta_ += bytes;
    total_ += bytes;
    if (scheduled_) return Next::nothing;  // these bytes join the waiting report
    auto now = now_();
    if (delta_ >= stepBytes || now - lastReport_ >= stepTime) {
        lastReport_ = now;
        scheduled_ = true;
        return Next::report;
    }
    if (flushArmed_) return Next::nothing;
    flushArmed_ = true;
    return Next::armFlush;
}

bool ProgressStepper::flushHeld() {
    std::lock_guard lock(mutex_);
    flushArmed_ = false;
    if (!heldBack()) return false;
    lastReport_ = now_();
    scheduled_ = true;
    return true;
}

bool ProgressStepper::finishing() {
    std::lock_guard lock(mutex_);
    if (!heldBack()) return false;
    scheduled_ = true;
    return true;
}

ProgressStepper::Figures ProgressStepper::take() {
    std::lock_guard lock(mutex_);
    Figures figures{delta_, total_, expected_};
    delta_ = 0;
    scheduled_ = false;
    return figures;
}

}  // namespace platform
