// Thread-safe progress counts.
#include "platform/foundation/Progress.h"

namespace platform {

std::shared_ptr<Progress> Progress::create(std::int64_t totalUnitCount) {
    return std::shared_ptr<Progress>(new Progress(totalUnitCount));
}

std::int64_t Progress::totalUnitCount() const {
    std::lock_guard lock(mutex_);
    return total_;
}
void Progress::setTotalUnitCount(std::int64_t count) {
    std::lock_guard lock(mutex_);
    total_ = count;
}
std::int64_t Progress::completedUnitCount() const {
    std::lock_guard lock(mutex_);
    return completed_;
}
void Progress::setCompletedUnitCount(std::int64_t count) {
    std::lock_guard lock(mutex_);
    completed_ = count;
}
double Progress::fractionCompleted() const {
    std::lock_guard lock(mutex_);
    if (total_ <= 0) return 0.0;
    return static_cast<double>(completed_) / static_cast<double>(total_);
}
bool Progress::isFinished() const {
    std::lock_guard lock(mutex_);
    return total_ > 0 && completed_ >= total_;
}
bool Progress::isIndeterminate() const {
    std::lock_guard lock(mutex_);
    return total_ < 0;
}
bool Progress::isCancellable() const {
    std::lock_guard lock(mutex_);
    return cancellable_;
}
void Progress::setCancellable(bool value) {
    std::lock_guard lock(mutex_);
    cancellable_ = value;
}
bool Progress::isPausable() const {
    std::lock_guard lock(mutex_);
    return pausable_;
}
void Progress::setPausable(bool value) {
    std::lock_guard lock(mutex_);
    pausable_ = value;
}
bool Progress::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}
void Progress::cancel() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return;
        cancelled_ = true;
        handler = std::move(cancellationHandler_);
        cancellationHandler_ = nullptr;
    }
    // Outside the lock, so the handler may read the progress.
    if (handler) handler();
}
void Progress::setCancellationHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    cancellationHandler_ = std::move(handler);
}

}  // namespace platform
