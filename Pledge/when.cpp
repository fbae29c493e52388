// The countdown shared by the `when` forms.
#include "Pledge/when.h"

namespace Pledge {

void detail::Countdown::fulfilled() {
    {
        std::lock_guard lock(mutex_);
        if (decided_ || --remaining_ != 0) return;
        decided_ = true;
    }
    root_->seal(Result<Void>::success(Void{}));
}

void detail::Countdown::rejected(ErrorPtr error) {
    {
        std::lock_guard lock(mutex_);
        if (decided_) return;
        decided_ = true;
    }
    root_->seal(Result<Void>::failure(std::move(error)));
}

Guarantee<Void> whenGuarantees(const std::vector<Guarantee<Void>>& guarantees) {
    return detail::whenVoid(guarantees).recover(conf().Q.map, [](const ErrorPtr&) {});
}

}  // namespace Pledge
