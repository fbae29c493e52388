// A value that will later be a T or an error (`Promise`), and its write end (`Resolver`).
// A promise is a handle on a shared box: copies are the same promise.
#pragma once
#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Pledge/Box.h"
#include "Pledge/CatchMixin.h"
#include "Pledge/Configuration.h"
#include "Pledge/Describe.h"
#include "Pledge/Error.h"
#include "Pledge/Thenable.h"
#include "platform/dispatch/DispatchGroup.h"

namespace Pledge {

// Something with a value type that reports its resolution through `pipe`.
// clang-format off
template <class U>
concept IsThenable = requires(const U& u) {
    typename U::ValueType;
    u.result();
};
// clang-format on

// The marker that picks the promise-returning form of `async` on a queue.
enum class PLGNamespacer { promise };

namespace detail {
bool isMainThread();
// A wait for one event: a dispatch group entered once and left by the callback `leave()`
// gives. Waiting on a group tells the thread pool that its worker is blocked, so the pool
// starts another thread for the work that will end the wait.
class GroupWait {
public:
    GroupWait();
    // Ends the wait; call it exactly once.
    std::function<void()> leave() const;
    void wait() const;

private:
    platform::DispatchGroupPtr group_;
};

// A rejection always carries an error: a missing one becomes PLGError
// invalidCallingConvention, the error of a completion that delivers neither value nor
// error. A promise is never left resolved yet neither fulfilled nor rejected.
inline ErrorPtr rejectionError(ErrorPtr error) {
    return error ? std::move(error) : PLGError::invalidCallingConvention();
}

template <class T>
struct ResolverCore {
    explicit ResolverCore(std::shared_ptr<Box<Result<T>>> b) : box(std::move(b)) {}
    ~ResolverCore() {
        if (!box->sealedValue()) emit(LogEvent::pendingPromiseDeallocated());
    }
    std::shared_ptr<Box<Result<T>>> box;
};
}  // namespace detail

template <class T>
class Resolver {
public:
    explicit Resolver(std::shared_ptr<Box<Result<T>>> box)
        : core_(std::make_shared<detail::ResolverCore<T>>(std::move(box))) {}

    void fulfill(T value) const { seal(Result<T>::success(std::move(value))); }
    void fulfill() const
        requires std::same_as<T, Void>
    {
        seal(Result<T>::success(Void{}));
    }
    // A null error rejects with PLGError invalidCallingConvention.
    void reject(ErrorPtr error) const { seal(Result<T>::failure(detail::rejectionError(std::move(error)))); }
    // (value?, error?): an error wins; else the value; else an invalid calling convention.
    void resolve(std::optional<T> value, ErrorPtr error) const {
        if (error) reject(std::move(error));
        else if (value) fulfill(std::move(*value));
        else reject(PLGError::invalidCallingConvention());
    }
    // (value, error?)
    void resolve(T value, ErrorPtr error) const {
        if (error) reject(std::move(error));
        else fulfill(std::move(value));
    }
    // (error?, value?)
    void resolve(ErrorPtr error, std::optional<T> value) const { resolve(std::move(value), std::move(error)); }
    // (error?) for a promise of nothing.
    void resolve(ErrorPtr error) const
        requires std::same_as<T, Void>
    {
        if (error) reject(std::move(error));
        else fulfill();
    }
    void resolve(const Result<T>& result) const {
        if (result.isSuccess()) seal(result);
        else reject(result.error());
    }

    const std::shared_ptr<Box<Result<T>>>& box() const { return core_->box; }

private:
    void seal(Result<T> r) const { core_->box->seal(std::move(r)); }
    std::shared_ptr<detail::ResolverCore<T>> core_;
};

template <class T>
class Promise : public Thenable<Promise<T>, T>, public CatchMixin<Promise<T>, T> {
public:
    using ValueType = T;
    using BoxType = Box<Result<T>>;
    using BoxPtr = std::shared_ptr<BoxType>;
    using Thenable<Promise<T>, T>::value;

    // Over a given box.
    explicit Promise(BoxPtr box) : box_(std::move(box)) {}
    // Already rejected (a null error rejects with PLGError invalidCallingConvention).
    explicit Promise(ErrorPtr error)
        : box_(makeShared<SealedBox<Result<T>>>(Result<T>::failure(detail::rejectionError(std::move(error))))) {}
    // Already fulfilled with nothing.
    Promise()
        requires std::same_as<T, Void>
        : box_(makeShared<SealedBox<Result<T>>>(Result<T>::success(Void{}))) {}
    // Pending; `body` gets the resolver at once. A throw rejects (unless already resolved).
    template <class F>
        requires std::invocable<F&, Resolver<T>>
    explicit Promise(F body) : box_(makeShared<EmptyBox<Result<T>>>()) {
        Resolver<T> resolver(box_);
        try {
            body(resolver);
        } catch (...) {
            resolver.reject(platform::errorFromCurrentException());
        }
    }
    // Follows another thenable of the same value type.
    template <class U>
        requires(IsThenable<U> && std::same_as<typename U::ValueType, T> && !std::same_as<U, Promise>)
    explicit Promise(const U& thenable) : box_(makeShared<EmptyBox<Result<T>>>()) {
        thenable.pipe([box = box_](const Result<T>& r) { box->seal(r); });
    }

    static Promise value(T v) { return Promise(makeShared<SealedBox<Result<T>>>(Result<T>::success(std::move(v)))); }
    static std::pair<Promise, Resolver<T>> pending() {
        Promise p = makePending();
        return {p, Resolver<T>(p.box_)};
    }
    // A pending promise that its maker seals through `box()`.
    static Promise makePending() { return Promise(makeShared<EmptyBox<Result<T>>>()); }

    const BoxPtr& box() const { return box_; }

    // Attaches a callback (const Result<T>&) -> nothing; it runs exactly once.
    template <class H>
    void pipe(H&& handler) const {
        attach(*box_, std::forward<H>(handler));
    }
    std::optional<Result<T>> result() const {
        if (const Result<T>* r = box_->sealedValue()) return *r;
        return std::nullopt;
    }

    // Blocks the calling thread until resolved; throws the rejection as ErrorException.
    // Awaitable from a task: the value, or the rejection thrown as ErrorException
    // (Pledge/async.h defines it).
    auto async() const;
    T wait() const {
        if (detail::isMainThread()) emit(LogEvent::waitOnMainThread());
        if (const Result<T>* r = box_->sealedValue()) return r->get();
        detail::GroupWait sealed;
        pipe([leave = sealed.leave()](const Result<T>&) { leave(); });
        sealed.wait();
        return box_->sealedValue()->get();
    }

    // "Promise(…Int)", "Promise(5)", "Promise(<error>)".
    std::string description() const {
        auto s = box_->inspect();
        if (s.isPending()) return "Promise(…" + TypeName<T>::name() + ")";
        const Result<T>& r = s.value();
        return "Promise(" + (r.isSuccess() ? describe(r.value()) : errorText(r.error())) + ")";
    }
    // "Promise<Int>.pending(handlers: 2)", "Promise<Int>.fulfilled(5)", "Promise<Int>.rejected(Type.text)".
    std::string debugDescription() const {
        auto s = box_->inspect();
        std::string head = "Promise<" + TypeName<T>::name() + ">.";
        if (s.isPending()) return head + "pending(handlers: " + std::to_string(s.handlerCount()) + ")";
        const Result<T>& r = s.value();
        if (r.isSuccess()) return head + "fulfilled(" + describe(r.value()) + ")";
        const ErrorPtr& e = r.error();
        return head + "rejected(" + (e ? e->typeName() : "nil") + "." + errorText(e) + ")";
    }

private:
    BoxPtr box_;
};

// Submits `body` to `queue`, counted in `group` (optional) until it has run; a Promise
// of its value (a throw rejects). A body declared noexcept gives a Guarantee instead
// (see Guarantee.h). The pool has no priorities, so `qos` is accepted and changes nothing.
template <class F>
    requires(!std::is_nothrow_invocable_v<F&>)
auto async(const platform::DispatchQueuePtr& queue, PLGNamespacer, const platform::DispatchGroupPtr& group,
           platform::DispatchQoS /*qos*/, Flags flags, F body) {
    using T = std::invoke_result_t<F&>;
    using V = std::conditional_t<std::is_void_v<T>, Void, T>;
    auto promise = Promise<V>::makePending();
    detail::submit(queue, group, flags, [box = promise.box(), body = std::move(body)]() mutable {
        try {
            if constexpr (std::is_void_v<T>) {
                body();
                box->seal(Result<V>::success(Void{}));
            } else {
                box->seal(Result<V>::success(body()));
            }
        } catch (...) {
            box->seal(Result<V>::failure(platform::errorFromCurrentException()));
        }
    });
    return promise;
}
// No group, quality of service unspecified.
template <class F>
auto async(const platform::DispatchQueuePtr& queue, PLGNamespacer namespacer, F body, Flags flags = {}) {
    return async(queue, namespacer, nullptr, platform::DispatchQoS::unspecified, flags, std::move(body));
}

}  // namespace Pledge
