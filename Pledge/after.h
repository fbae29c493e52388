// Timers and the opening of a chain: `after` gives a guarantee that resolves once a delay
// has passed (on a global queue's thread, never inside the call); `firstly` calls a body
// that makes the first promise.
#pragma once
#include "Pledge/CatchOperators.h"
#include "platform/dispatch/DispatchTime.h"

namespace Pledge {

// The timer's block keeps the box alive: dropping the guarantee does not cancel it.
Guarantee<Void> after(double seconds);
Guarantee<Void> after(platform::DispatchTimeInterval interval);

// A body returning a Guarantee: that very guarantee. A body returning a promise: a new
// Promise that follows it; a throw gives a rejected promise.
template <class F>
auto firstly(F body) {
    using U = std::invoke_result_t<F&>;
    if constexpr (detail::IsGuarantee<U>::value) {
        return body();
    } else {
        using T = typename U::ValueType;
        auto next = Promise<T>::makePending();
        try {
            U first = body();
            first.pipe([box = next.box()](const Result<T>& r) { box->seal(r); });
        } catch (...) {
            return Promise<T>(platform::errorFromCurrentException());
        }
        return next;
    }
}

}  // namespace Pledge
