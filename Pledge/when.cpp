// The countdown shared by the `when` forms.
#include "Pledge/when.h"

#include <utility>

namespace Pledge {

void detail::Countdown::fulfilled() {
    bool decides = state_.write([](State& state) {
        if (state.decided || --state.remaining != 0) return false;
        state.decided = true;
        return true;
    });
    if (decides) root_->seal(Result<Void>::success(Void{}));
}

void detail::Countdown::rejected(ErrorPtr error) {
    bool decides = state_.write([](State& state) { return !std::exchange(state.decided, true); });
    if (decides) root_->seal(Result<Void>::failure(std::move(error)));
}

Guarantee<Void> whenGuarantees(const std::vector<Guarantee<Void>>& guarantees) {
    return detail::whenVoid(guarantees).recover(conf().Q.map, [](const ErrorPtr&) {});
}

}  // namespace Pledge
