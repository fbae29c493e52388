// Awaiting promises and guarantees from coroutine tasks: `co_await promise.async()`.
// The task goes on where the handler runs, on the configured return queue (the main
// queue unless changed; with none, on the thread that resolves the promise).
#pragma once
#include <exception>

#include "Pledge/CatchOperators.h"
#include "Pledge/Guarantee.h"
#include "Pledge/Promise.h"
#include "platform/concurrency/CheckedContinuation.h"

namespace Pledge {

template <class T>
auto Guarantee<T>::async() const {
    return platform::withCheckedContinuation<T>("async()", [self = *this](platform::CheckedContinuation<T> c) {
        self.done(conf().Q.return_, Flags{}, [c](const T& value) { c.resume(value); });
    });
}

template <class T>
auto Promise<T>::async() const {
    return platform::withCheckedContinuation<T>("async()", [self = *this](platform::CheckedContinuation<T> c) {
        // Every error is caught, cancellation included: an awaiting task must go on,
        // and a cancelled promise goes on by throwing its cancellation error.
        self.done(conf().Q.return_, Flags{}, [c](const T& value) { c.resume(value); })
            .catch_(conf().Q.return_, Flags{}, CatchPolicy::allErrors,
                    [c](const ErrorPtr& error) { c.resume(std::make_exception_ptr(platform::ErrorException(error))); });
    });
}

}  // namespace Pledge
