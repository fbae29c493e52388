// Adapters from completion-callback operations to promises, and older spellings kept for
// callers written against them.
#pragma once
#include <functional>
#include <optional>
#include <type_traits>

#include "Pledge/CatchOperators.h"

namespace Pledge {

namespace detail {
template <class F>
struct CallbackOf;
template <class C, class R, class A>
struct CallbackOf<R (C::*)(A) const> {
    using type = std::decay_t<A>;
};
template <class C, class R, class A>
struct CallbackOf<R (C::*)(A)> {
    using type = std::decay_t<A>;
};

template <class Callback>
struct WrapShape;
// (value?, error?)
template <class T>
struct WrapShape<std::function<void(std::optional<T>, ErrorPtr)>> {
    using Value = T;
    static auto callback(Resolver<T> r) {
        return std::function<void(std::optional<T>, ErrorPtr)>(
            [r](std::optional<T> v, ErrorPtr e) { r.resolve(std::move(v), std::move(e)); });
    }
};
// (error?, value?)
template <class T>
struct WrapShape<std::function<void(ErrorPtr, std::optional<T>)>> {
    using Value = T;
    static auto callback(Resolver<T> r) {
        return std::function<void(ErrorPtr, std::optional<T>)>(
            [r](ErrorPtr e, std::optional<T> v) { r.resolve(std::move(e), std::move(v)); });
    }
};
// (error?)
template <>
struct WrapShape<std::function<void(ErrorPtr)>> {
    using Value = Void;
    static auto callback(Resolver<Void> r) {
        return std::function<void(ErrorPtr)>([r](ErrorPtr e) { r.resolve(std::move(e)); });
    }
};
// (value, error?)
template <class T>
struct WrapShape<std::function<void(T, ErrorPtr)>> {
    using Value = T;
    static auto callback(Resolver<T> r) {
        return std::function<void(T, ErrorPtr)>([r](T v, ErrorPtr e) { r.resolve(std::move(v), std::move(e)); });
    }
};
// (value)
template <class T>
struct WrapShape<std::function<void(T)>> {
    using Value = T;
    static auto callback(Resolver<T> r) {
        return std::function<void(T)>([r](T v) { r.fulfill(std::move(v)); });
    }
};
}  // namespace detail

// `body` takes a std::function callback of one of the shapes (std::optional<T>, ErrorPtr),
// (T, ErrorPtr), (ErrorPtr, std::optional<T>), (T) or (ErrorPtr), calls it (now or later,
// from any thread; only the first call counts) and may throw.
template <class F>
auto wrap(F body) {
    using Callback = typename detail::CallbackOf<decltype(&F::operator())>::type;
    using Shape = detail::WrapShape<Callback>;
    using T = typename Shape::Value;
    return Promise<T>([&body](Resolver<T> resolver) { body(Shape::callback(resolver)); });
}

}  // namespace Pledge
