// The progress of a piece of work in units; safe to read and change from any thread.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/base/Protected.h"

namespace platform {

class Progress : public std::enable_shared_from_this<Progress> {
public:
    static std::shared_ptr<Progress> create(std::int64_t totalUnitCount = 0);
    static std::shared_ptr<Progress> progressWithTotalUnitCount(std::int64_t totalUnitCount) {
        return create(totalUnitCount);
    }

    std::int64_t totalUnitCount() const;
    void setTotalUnitCount(std::int64_t count);
    std::int64_t completedUnitCount() const;
    void setCompletedUnitCount(std::int64_t count);
    // completed / total; 0 when the total is not positive.
    double fractionCompleted() const;
    // A positive total reached by the completed count.
    bool isFinished() const;
    // A total below zero (the count is unknown).
    bool isIndeterminate() const;

    bool isCancellable() const;
    void setCancellable(bool value);
    bool isPausable() const;
    void setPausable(bool value);
    bool isCancelled() const;
    // Marks the progress cancelled and runs the cancellation handler once.
    void cancel();
    void setCancellationHandler(std::function<void()> handler);

protected:
    explicit Progress(std::int64_t total) { state_.set(&State::total, total); }

private:
    struct State {
        std::int64_t total = 0, completed = 0;
        bool cancellable = true, pausable = false, cancelled = false;
        std::function<void()> cancellationHandler;
    };
    Protected<State> state_;
};

using ProgressPtr = std::shared_ptr<Progress>;

}  // namespace platform
