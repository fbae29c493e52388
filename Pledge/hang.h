// Waiting for a promise on the main thread while its run loop keeps serving the main
// queue, timers and sources (which may run nested inside the wait).
#pragma once
#include <functional>

#include "Pledge/CatchOperators.h"

namespace Pledge {

namespace detail {
void checkHangOnMainThread();
// Runs the current run loop until `isPending` turns false; `attachWake` gets a callback
// that wakes the loop and attaches it to the promise.
void runWhilePending(const std::function<bool()>& isPending,
                     const std::function<void(std::function<void()>)>& attachWake);
}  // namespace detail

// The promise's value, or its error thrown as ErrorException. Main thread only (fatal
// elsewhere).
template <class T>
T hang(const Promise<T>& promise) {
    detail::checkHangOnMainThread();
    if (promise.isPending()) {
        detail::runWhilePending(
            [&] { return promise.isPending(); },
            [&](std::function<void()> wake) { promise.ensure(conf().Q.return_, Flags{}, std::move(wake)); });
    }
    return promise.result()->get();
}

}  // namespace Pledge
