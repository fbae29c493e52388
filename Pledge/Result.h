// The resolution of a promise: fulfilled with a value or rejected with an error. It is
// the platform's one Result; these helpers give it the promise library's vocabulary.
#pragma once
#include <type_traits>

#include "platform/base/Result.h"
#include "platform/base/Void.h"

namespace Pledge {

using platform::ErrorPtr;
using platform::Void;

template <class T>
using Result = platform::Result<T, platform::ErrorPtr>;

template <class T>
Result<std::decay_t<T>> fulfilled(T&& value) {
    return Result<std::decay_t<T>>::success(std::forward<T>(value));
}
template <class T>
Result<T> rejected(ErrorPtr error) {
    return Result<T>::failure(std::move(error));
}
template <class T>
bool isFulfilled(const Result<T>& result) {
    return result.isSuccess();
}

namespace detail {
// Calls a body with the value; a body of a Void chain may also take no argument.
template <class F, class T>
decltype(auto) callWith(F& body, const T& value) {
    if constexpr (std::is_invocable_v<F&, const T&>) {
        return body(value);
    } else {
        static_assert(std::is_same_v<T, Void> && std::is_invocable_v<F&>, "the body cannot take this value");
        return body();
    }
}
template <class F, class T>
using CallResult = decltype(callWith(std::declval<F&>(), std::declval<const T&>()));
}  // namespace detail

}  // namespace Pledge
