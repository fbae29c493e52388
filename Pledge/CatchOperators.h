// The operators of the rejected path and the finalizer that `catch_` returns.
#pragma once
#include "Pledge/ThenableOperators.h"

namespace Pledge {

// The end of a chain: its guarantee resolves once the catch handler has done its part
// (at once when the chain was fulfilled or its error filtered out).
class PLGFinalizer {
public:
    PLGFinalizer(Guarantee<Void> guarantee, std::function<void()> resolve)
        : pending_{std::move(guarantee), std::move(resolve)} {}

    // body: nothing -> nothing; runs after the chain has ended. Default queue conf().Q.return_.
    template <class F>
    void finally(On on, Flags flags, F body) const {
        pending_.guarantee.done(std::move(on), flags, [body = std::move(body)](const Void&) mutable { body(); });
    }
    PLEDGE_SHORT_FORMS(finally)

    const Guarantee<Void>& guarantee() const { return pending_.guarantee; }

private:
    struct Pending {
        Guarantee<Void> guarantee;
        std::function<void()> resolve;
    } pending_;
};

namespace detail {
inline bool filteredOut(CatchPolicy policy, const ErrorPtr& error) {
    return policy == CatchPolicy::allErrorsExceptCancellation && isCancelled(error);
}
}  // namespace detail

template <class D, class T>
template <class F>
PLGFinalizer CatchMixin<D, T>::catch_(On on, Flags flags, CatchPolicy policy, F body) const {
    auto finalizer = Guarantee<Void>::makePending();
    auto box = finalizer.box();
    self().pipe([box, queue = on.resolve(DefaultQueue::return_), flags, policy,
                 body = std::move(body)](const Result<T>& r) mutable {
        if (r.isSuccess() || detail::filteredOut(policy, r.error())) {
            box->seal(Void{});
            return;
        }
        hop(queue, flags, [box, error = r.error(), body = std::move(body)]() mutable {
            try {
                body(error);
            } catch (...) {
                detail::guaranteeBodyThrew();
            }
            box->seal(Void{});
        });
    });
    return PLGFinalizer(finalizer, [box] { box->seal(Void{}); });
}

template <class D, class T>
template <class F>
PLGFinalizer CatchMixin<D, T>::catch_(On on, Flags flags, F body) const {
    return catch_(std::move(on), flags, conf().catchPolicy, std::move(body));
}
template <class D, class T>
template <class F>
PLGFinalizer CatchMixin<D, T>::catch_(On on, F body) const {
    return catch_(std::move(on), Flags{}, conf().catchPolicy, std::move(body));
}
template <class D, class T>
template <class F>
PLGFinalizer CatchMixin<D, T>::catch_(CatchPolicy policy, F body) const {
    return catch_(On{}, Flags{}, policy, std::move(body));
}
template <class D, class T>
template <class F>
PLGFinalizer CatchMixin<D, T>::catch_(F body) const {
    return catch_(On{}, Flags{}, conf().catchPolicy, std::move(body));
}

template <class D, class T>
PLGFinalizer CatchMixin<D, T>::cauterize() const {
    // The handler is read when the error arrives, not now.
    return catch_(conf().Q.return_, Flags{}, conf().catchPolicy,
                  [](const ErrorPtr& error) { emit(LogEvent::cauterized(error)); });
}

template <class D, class T>
template <class F>
auto CatchMixin<D, T>::recover(On on, Flags flags, CatchPolicy policy, F body) const {
    using U = std::invoke_result_t<F&, const ErrorPtr&>;
    auto next = Promise<T>::makePending();
    self().pipe([box = next.box(), queue = on.resolve(DefaultQueue::map), flags, policy,
                 body = std::move(body)](const Result<T>& r) mutable {
        if (r.isSuccess() || detail::filteredOut(policy, r.error())) {
            box->seal(r);
            return;
        }
        hop(queue, flags, [box, error = r.error(), body = std::move(body)]() mutable {
            try {
                if constexpr (std::is_void_v<U>) {
                    body(error);
                    box->seal(Result<T>::success(Void{}));
                } else {
                    static_assert(std::is_same_v<typename U::ValueType, T>, "recover must give the same value type");
                    U replacement = body(error);
                    if constexpr (detail::IsPromise<U>::value) {
                        if (replacement.box() == box) {
                            box->seal(Result<T>::failure(PLGError::returnedSelf()));
                            return;
                        }
                    }
                    replacement.pipe([box](const Result<T>& rr) { box->seal(rr); });
                }
            } catch (...) {
                box->seal(Result<T>::failure(platform::errorFromCurrentException()));
            }
        });
    });
    return next;
}

template <class D, class T>
template <class F>
auto CatchMixin<D, T>::recover(On on, Flags flags, F body) const {
    using U = std::invoke_result_t<F&, const ErrorPtr&>;
    if constexpr (std::is_void_v<U> || detail::IsGuarantee<U>::value) {
        auto next = Guarantee<T>::makePending();
        self().pipe([box = next.box(), queue = on.resolve(DefaultQueue::map), flags,
                     body = std::move(body)](const Result<T>& r) mutable {
            if (r.isSuccess()) {
                box->seal(r.value());
                return;
            }
            hop(queue, flags, [box, error = r.error(), body = std::move(body)]() mutable {
                try {
                    if constexpr (std::is_void_v<U>) {
                        body(error);
                        box->seal(Void{});
                    } else {
                        U replacement = body(error);
                        replacement.pipe([box](const T& v) { box->seal(v); });
                    }
                } catch (...) {
                    detail::guaranteeBodyThrew();
                }
            });
        });
        return next;
    } else {
        return recover(std::move(on), flags, conf().catchPolicy, std::move(body));
    }
}

template <class D, class T>
template <class F>
Promise<T> CatchMixin<D, T>::ensure(On on, Flags flags, F body) const {
    auto next = Promise<T>::makePending();
    self().pipe([box = next.box(), queue = on.resolve(DefaultQueue::return_), flags,
                 body = std::move(body)](const Result<T>& r) mutable {
        hop(queue, flags, [box, r, body = std::move(body)]() mutable {
            try {
                body();
            } catch (...) {
                box->seal(Result<T>::failure(platform::errorFromCurrentException()));
                return;
            }
            box->seal(r);
        });
    });
    return next;
}

template <class D, class T>
template <class F>
Promise<T> CatchMixin<D, T>::ensureThen(On on, Flags flags, F body) const {
    auto next = Promise<T>::makePending();
    self().pipe([box = next.box(), queue = on.resolve(DefaultQueue::return_), flags,
                 body = std::move(body)](const Result<T>& r) mutable {
        hop(queue, flags, [box, r, body = std::move(body)]() mutable {
            std::optional<Guarantee<Void>> after;
            try {
                after.emplace(body());
            } catch (...) {
                box->seal(Result<T>::failure(platform::errorFromCurrentException()));
                return;
            }
            // The outcome passes on from the return queue, read when this step runs.
            after->done(conf().Q.return_, Flags{}, [box, r](const Void&) { box->seal(r); });
        });
    });
    return next;
}

}  // namespace Pledge
