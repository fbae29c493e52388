// A promise that cannot fail: it resolves with a T, never with an error. Timers and every
// operation whose outcome cannot be an error give guarantees.
#pragma once
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "Pledge/Promise.h"

namespace Pledge {

namespace detail {
// A guarantee's body must not throw: there is no rejection to turn it into.
[[noreturn]] void guaranteeBodyThrew();

template <class X>
struct IsGuarantee : std::false_type {};
template <class X>
struct IsGuarantee<Guarantee<X>> : std::true_type {};
}  // namespace detail

// The box of a pending guarantee; it warns when it dies unresolved.
template <class T>
class GuaranteeBox final : public EmptyBox<T> {
public:
    ~GuaranteeBox() override {
        if (this->isPending()) emit(LogEvent::pendingGuaranteeDeallocated());
    }
};

template <class T>
class Guarantee : public Thenable<Guarantee<T>, T> {
public:
    using ValueType = T;
    using BoxPtr = std::shared_ptr<Box<T>>;
    using Seal = std::function<void(T)>;
    using Thenable<Guarantee<T>, T>::value;

    explicit Guarantee(BoxPtr box) : box_(std::move(box)) {}
    Guarantee()
        requires std::same_as<T, Void>
        : box_(makeShared<SealedBox<T>>(Void{})) {}
    // Pending; `body` gets the seal callback at once.
    template <class F>
        requires std::invocable<F&, Seal>
    explicit Guarantee(F body) : box_(makeShared<GuaranteeBox<T>>()) {
        body(sealFor(box_));
    }

    static Guarantee value(T v) { return Guarantee(makeShared<SealedBox<T>>(std::move(v))); }
    static std::pair<Guarantee, Seal> pending() {
        Guarantee g = makePending();
        return {g, sealFor(g.box_)};
    }
    static Guarantee makePending() { return Guarantee(makeShared<GuaranteeBox<T>>()); }

    const BoxPtr& box() const { return box_; }

    // Attaches a callback taking the value, or one taking a Result (always fulfilled).
    template <class H>
    void pipe(H&& handler) const {
        if constexpr (std::is_invocable_v<H&, const Result<T>&>) {
            attach(*box_, [h = std::forward<H>(handler)](const T& v) mutable { h(Result<T>::success(v)); });
        } else {
            attach(*box_, std::forward<H>(handler));
        }
    }
    std::optional<Result<T>> result() const {
        if (const T* v = box_->sealedValue()) return Result<T>::success(*v);
        return std::nullopt;
    }
    // Awaitable from a task: the value once resolved (Pledge/async.h defines it).
    auto async() const;
    T wait() const {
        if (detail::isMainThread()) emit(LogEvent::waitOnMainThread());
        if (const T* v = box_->sealedValue()) return *v;
        detail::GroupWait sealed;
        pipe([leave = sealed.leave()](const T&) { leave(); });
        sealed.wait();
        return *box_->sealedValue();
    }

    // body: T -> nothing; default queue conf().Q.return_.
    template <class F>
    Guarantee<Void> done(On on, Flags flags, F body) const {
        return step<Void>(on.resolve(DefaultQueue::return_), flags, [body = std::move(body)](const T& v) mutable {
            detail::callWith(body, v);
            return Void{};
        });
    }
    PLEDGE_SHORT_FORMS(done)
    // body: T -> nothing; passes the value on.
    template <class F>
    Guarantee<T> get(On on, Flags flags, F body) const {
        return step<T>(on.resolve(DefaultQueue::map), flags, [body = std::move(body)](const T& v) mutable {
            detail::callWith(body, v);
            return v;
        });
    }
    PLEDGE_SHORT_FORMS(get)
    // body: T -> U.
    template <class F>
    auto map(On on, Flags flags, F body) const {
        using U = detail::CallResult<F, T>;
        if constexpr (std::is_void_v<U>) {
            return step<Void>(on.resolve(DefaultQueue::map), flags, [body = std::move(body)](const T& v) mutable {
                detail::callWith(body, v);
                return Void{};
            });
        } else {
            return step<U>(on.resolve(DefaultQueue::map), flags,
                           [body = std::move(body)](const T& v) mutable { return detail::callWith(body, v); });
        }
    }
    PLEDGE_SHORT_FORMS(map)
    // body: T -> Guarantee<U> gives a Guarantee<U>; a body returning a promise takes the
    // promise form.
    template <class F>
    auto then(On on, Flags flags, F body) const {
        using G = detail::CallResult<F, T>;
        if constexpr (detail::IsGuarantee<G>::value) {
            using U = typename G::ValueType;
            auto next = Guarantee<U>::makePending();
            auto nextBox = next.box();
            pipe([nextBox, queue = on.resolve(DefaultQueue::map), flags, body = std::move(body)](const T& v) mutable {
                hop(queue, flags, [nextBox, v, body = std::move(body)]() mutable {
                    G inner = callGuarded([&] { return detail::callWith(body, v); });
                    inner.pipe([nextBox](const U& u) { nextBox->seal(u); });
                });
            });
            return next;
        } else {
            return Thenable<Guarantee<T>, T>::then(std::move(on), flags, std::move(body));
        }
    }
    PLEDGE_SHORT_FORMS(then)
    Guarantee<Void> asVoid() const {
        return step<Void>(nullptr, Flags{}, [](const T&) { return Void{}; });
    }

    // Helpers for a value that is a sequence.
    template <class F>
    auto mapValues(On on, Flags flags, F transform) const {
        return map(std::move(on), flags, [transform = std::move(transform)](const T& values) mutable {
            using U = std::invoke_result_t<F&, const typename T::value_type&>;
            std::vector<U> out;
            for (const auto& e : values) out.push_back(transform(e));
            return out;
        });
    }
    PLEDGE_SHORT_FORMS(mapValues)
    template <class F>
    auto flatMapValues(On on, Flags flags, F transform) const {
        return map(std::move(on), flags, [transform = std::move(transform)](const T& values) mutable {
            using S = std::invoke_result_t<F&, const typename T::value_type&>;
            std::vector<typename S::value_type> out;
            for (const auto& e : values)
                for (auto& x : transform(e)) out.push_back(std::move(x));
            return out;
        });
    }
    PLEDGE_SHORT_FORMS(flatMapValues)
    template <class F>
    auto compactMapValues(On on, Flags flags, F transform) const {
        return map(std::move(on), flags, [transform = std::move(transform)](const T& values) mutable {
            using O = std::invoke_result_t<F&, const typename T::value_type&>;
            std::vector<typename O::value_type> out;
            for (const auto& e : values)
                if (auto x = transform(e)) out.push_back(std::move(*x));
            return out;
        });
    }
    PLEDGE_SHORT_FORMS(compactMapValues)
    template <class F>
    auto filterValues(On on, Flags flags, F test) const {
        return map(std::move(on), flags, [test = std::move(test)](const T& values) mutable {
            std::vector<typename T::value_type> out;
            for (const auto& e : values)
                if (test(e)) out.push_back(e);
            return out;
        });
    }
    PLEDGE_SHORT_FORMS(filterValues)
    // `areInIncreasingOrder(a, b)` is true when a goes before b.
    template <class F>
    auto sortedValuesBy(On on, Flags flags, F areInIncreasingOrder) const {
        return map(std::move(on), flags, [by = std::move(areInIncreasingOrder)](const T& values) mutable {
            std::vector<typename T::value_type> out(values.begin(), values.end());
            std::stable_sort(out.begin(), out.end(), by);
            return out;
        });
    }
    PLEDGE_SHORT_FORMS(sortedValuesBy)
    auto sortedValues(On on = {}, Flags flags = {}) const {
        return sortedValuesBy(std::move(on), flags, std::less<>{});
    }
    // body: element -> Guarantee<U>; all their values, in element order.
    template <class F>
    auto thenMap(On on, Flags flags, F transform) const;
    PLEDGE_SHORT_FORMS(thenMap)
    // body: element -> Guarantee of a sequence; their values joined, in element order.
    template <class F>
    auto thenFlatMap(On on, Flags flags, F transform) const;
    PLEDGE_SHORT_FORMS(thenFlatMap)

private:
    static Seal sealFor(BoxPtr box) {
        return [box = std::move(box)](T v) { box->seal(std::move(v)); };
    }
    template <class F>
    static auto callGuarded(F&& f) {
        try {
            return f();
        } catch (...) {
            detail::guaranteeBodyThrew();
        }
    }
    // The shared skeleton: a new guarantee sealed with work(v) on the chosen queue.
    template <class U, class W>
    Guarantee<U> step(platform::DispatchQueuePtr queue, Flags flags, W work) const {
        auto next = Guarantee<U>::makePending();
        pipe([nextBox = next.box(), queue = std::move(queue), flags, work = std::move(work)](const T& v) mutable {
            hop(queue, flags, [nextBox, v, work = std::move(work)]() mutable {
                nextBox->seal(callGuarded([&] { return work(v); }));
            });
        });
        return next;
    }

    BoxPtr box_;
};

// The noexcept-body form of `async`: a Guarantee of the body's value.
template <class F>
    requires std::is_nothrow_invocable_v<F&>
auto async(const platform::DispatchQueuePtr& queue, PLGNamespacer, const platform::DispatchGroupPtr& group,
           platform::DispatchQoS /*qos*/, Flags flags, F body) {
    using T = std::invoke_result_t<F&>;
    using V = std::conditional_t<std::is_void_v<T>, Void, T>;
    auto guarantee = Guarantee<V>::makePending();
    detail::submit(queue, group, flags, [box = guarantee.box(), body = std::move(body)]() mutable {
        if constexpr (std::is_void_v<T>) {
            body();
            box->seal(Void{});
        } else {
            box->seal(body());
        }
    });
    return guarantee;
}

}  // namespace Pledge
