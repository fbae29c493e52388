// The chaining operators of every promise kind. Each attaches one handler to its receiver
// and resolves a new promise from the receiver's outcome and the body's result: a
// rejection passes on at once without calling the body, and a body that throws rejects
// the new promise (no exception leaves a step).
#pragma once
#include "Pledge/Guarantee.h"

namespace Pledge {

namespace detail {
template <class X>
struct IsPromise : std::false_type {};
template <class X>
struct IsPromise<Promise<X>> : std::true_type {};

// Runs `step(value, box)`; what it throws rejects the box.
template <class V, class T, class Step>
void runStep(Step& step, const T& value, const std::shared_ptr<Box<Result<V>>>& box) {
    try {
        step(value, box);
    } catch (...) {
        box->seal(Result<V>::failure(platform::errorFromCurrentException()));
    }
}

// The common skeleton: a new promise resolved on the chosen queue by
// `step(value, box)`, which may throw. A promise's value stays in its box, which the step
// holds until it has run, so a large value is never copied on the way; a guarantee hands
// over a value of its own.
template <class V, class T, class Receiver, class Step>
Promise<V> chain(const Receiver& receiver, platform::DispatchQueuePtr queue, Flags flags, Step step) {
    auto next = Promise<V>::makePending();
    auto rejects = [box = next.box()](const Result<T>& r) {
        if (r.isSuccess()) return false;
        box->seal(Result<V>::failure(r.error()));
        return true;
    };
    if constexpr (IsPromise<Receiver>::value) {
        receiver.pipe([box = next.box(), source = std::weak_ptr(receiver.box()), rejects, queue = std::move(queue),
                       flags, step = std::move(step)](const Result<T>& r) mutable {
            if (rejects(r)) return;
            // The box is sealing or sealed right now, so it is there to be held.
            hop(queue, flags, [box, held = source.lock(), value = &r.value(), step = std::move(step)]() mutable {
                runStep<V>(step, *value, box);
            });
        });
    } else {
        receiver.pipe([box = next.box(), rejects, queue = std::move(queue), flags,
                       step = std::move(step)](const Result<T>& r) mutable {
            if (rejects(r)) return;
            hop(queue, flags,
                [box, value = r.value(), step = std::move(step)]() mutable { runStep<V>(step, value, box); });
        });
    }
    return next;
}

template <class T>
[[noreturn]] void throwError(ErrorPtr e) {
    throw platform::ErrorException(std::move(e));
}
}  // namespace detail

template <class D, class T>
template <class F>
auto Thenable<D, T>::then(On on, Flags flags, F body) const {
    using U = std::decay_t<detail::CallResult<F, T>>;
    using V = typename U::ValueType;
    return detail::chain<V, T>(self(), on.resolve(DefaultQueue::map), flags,
                               [body = std::move(body)](const T& value, const auto& box) mutable {
                                   U next = detail::callWith(body, value);
                                   if constexpr (detail::IsPromise<U>::value) {
                                       if (next.box() == box) {
                                           box->seal(Result<V>::failure(PLGError::returnedSelf()));
                                           return;
                                       }
                                   }
                                   next.pipe([box](const Result<V>& r) { box->seal(r); });
                               });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::map(On on, Flags flags, F body) const {
    using U = detail::CallResult<F, T>;
    using V = std::conditional_t<std::is_void_v<U>, Void, U>;
    return detail::chain<V, T>(self(), on.resolve(DefaultQueue::map), flags,
                               [body = std::move(body)](const T& value, const auto& box) mutable {
                                   if constexpr (std::is_void_v<U>) {
                                       detail::callWith(body, value);
                                       box->seal(Result<V>::success(Void{}));
                                   } else {
                                       box->seal(Result<V>::success(detail::callWith(body, value)));
                                   }
                               });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::compactMap(On on, Flags flags, F body) const {
    using O = detail::CallResult<F, T>;
    using U = typename O::value_type;
    return detail::chain<U, T>(self(), on.resolve(DefaultQueue::map), flags,
                               [body = std::move(body)](const T& value, const auto& box) mutable {
                                   O out = detail::callWith(body, value);
                                   if (out) box->seal(Result<U>::success(std::move(*out)));
                                   else box->seal(Result<U>::failure(PLGError::compactMap<U>(value)));
                               });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::done(On on, Flags flags, F body) const {
    return detail::chain<Void, T>(self(), on.resolve(DefaultQueue::return_), flags,
                                  [body = std::move(body)](const T& value, const auto& box) mutable {
                                      detail::callWith(body, value);
                                      box->seal(Result<Void>::success(Void{}));
                                  });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::get(On on, Flags flags, F body) const {
    return detail::chain<T, T>(self(), on.resolve(DefaultQueue::map), flags,
                               [body = std::move(body)](const T& value, const auto& box) mutable {
                                   detail::callWith(body, value);
                                   box->seal(Result<T>::success(value));
                               });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::tap(On on, Flags flags, F body) const {
    // Made through its resolver, which only the handler keeps: a receiver that dies
    // pending takes the resolver with it, and its end reports the tap's promise.
    return Promise<T>([&](Resolver<T> resolver) {
        self().pipe([resolver, queue = on.resolve(DefaultQueue::map), flags,
                     body = std::move(body)](const Result<T>& r) mutable {
            hop(queue, flags, [resolver, r, body = std::move(body)]() mutable {
                try {
                    body(r);
                } catch (...) {
                    resolver.reject(platform::errorFromCurrentException());
                    return;
                }
                resolver.resolve(r);
            });
        });
    });
}

template <class D, class T>
Promise<Void> Thenable<D, T>::asVoid() const {
    return detail::chain<Void, T>(self(), nullptr, Flags{},
                                  [](const T&, const auto& box) { box->seal(Result<Void>::success(Void{})); });
}

}  // namespace Pledge
