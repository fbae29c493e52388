// Thread-safe progress counts.
#include "platform/foundation/Progress.h"

#include <utility>

namespace platform {

std::shared_ptr<Progress> Progress::create(std::int64_t totalUnitCount) {
    return std::shared_ptr<Progress>(new Progress(totalUnitCount));
}

std::int64_t Progress::totalUnitCount() const { return state_.get(&State::total); }
void Progress::setTotalUnitCount(std::int64_t count) { state_.set(&State::total, count); }
std::int64_t Progress::completedUnitCount() const { return state_.get(&State::completed); }
void Progress::setCompletedUnitCount(std::int64_t count) { state_.set(&State::completed, count); }
double Progress::fractionCompleted() const {
    return state_.read([](const State& s) {
        if (s.total <= 0) return 0.0;
        return static_cast<double>(s.completed) / static_cast<double>(s.total);
    });
}
bool Progress::isFinished() const {
    return state_.read([](const State& s) { return s.total > 0 && s.completed >= s.total; });
}
bool Progress::isIndeterminate() const { return state_.get(&State::total) < 0; }
bool Progress::isCancellable() const { return state_.get(&State::cancellable); }
void Progress::setCancellable(bool value) { state_.set(&State::cancellable, value); }
bool Progress::isPausable() const { return state_.get(&State::pausable); }
void Progress::setPausable(bool value) { state_.set(&State::pausable, value); }
bool Progress::isCancelled() const { return state_.get(&State::cancelled); }
void Progress::cancel() {
    auto handler = state_.write([](State& s) -> std::function<void()> {
        if (s.cancelled) return nullptr;
        s.cancelled = true;
        return std::exchange(s.cancellationHandler, nullptr);
    });
    // Outside the lock, so the handler may read the progress.
    if (handler) handler();
}
void Progress::setCancellationHandler(std::function<void()> handler) {
    state_.set(&State::cancellationHandler, std::move(handler));
}

}  // namespace platform
