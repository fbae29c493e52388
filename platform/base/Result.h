// A success with a value or a failure with an error, as completion paths carry them.
#pragma once
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/base/Error.h"
#include "platform/base/Fatal.h"
#include "platform/base/Void.h"

namespace platform {

template <class T, class E = ErrorPtr>
class Result {
public:
    using Success = T;
    using Failure = E;

    static Result success(T value) { return Result(std::in_place_index<0>, std::move(value)); }
    static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

    bool isSuccess() const { return storage_.index() == 0; }
    bool isFailure() const { return storage_.index() == 1; }

    // The value; asking a failure for it is a programming error.
    const T& value() const& {
        if (!isSuccess()) fatal("Result::value() on a failure");
        return std::get<0>(storage_);
    }
    T& value() & {
        if (!isSuccess()) fatal("Result::value() on a failure");
        return std::get<0>(storage_);
    }
    T&& value() && {
        if (!isSuccess()) fatal("Result::value() on a failure");
        return std::get<0>(std::move(storage_));
    }
    const E& error() const {
        if (!isFailure()) fatal("Result::error() on a success");
        return std::get<1>(storage_);
    }
    std::optional<T> successValue() const {
        if (isSuccess()) return std::get<0>(storage_);
        return std::nullopt;
    }
    std::optional<E> failureValue() const {
        if (isFailure()) return std::get<1>(storage_);
        return std::nullopt;
    }

    // The value, or the error thrown as ErrorException (E must be an ErrorPtr or derive from Error).
    T get() const {
        if (isSuccess()) return std::get<0>(storage_);
        throw ErrorException(toErrorPtr(std::get<1>(storage_)));
    }

    template <class F>
    auto map(F&& transform) const -> Result<std::invoke_result_t<F, const T&>, E> {
        using U = std::invoke_result_t<F, const T&>;
        if (isSuccess()) return Result<U, E>::success(transform(std::get<0>(storage_)));
        return Result<U, E>::failure(std::get<1>(storage_));
    }
    template <class F>
    auto flatMap(F&& transform) const -> std::invoke_result_t<F, const T&> {
        using R = std::invoke_result_t<F, const T&>;
        if (isSuccess()) return transform(std::get<0>(storage_));
        return R::failure(std::get<1>(storage_));
    }
    template <class F>
    auto mapError(F&& transform) const -> Result<T, std::invoke_result_t<F, const E&>> {
        using E2 = std::invoke_result_t<F, const E&>;
        if (isSuccess()) return Result<T, E2>::success(std::get<0>(storage_));
        return Result<T, E2>::failure(transform(std::get<1>(storage_)));
    }
    template <class F>
    auto flatMapError(F&& transform) const -> std::invoke_result_t<F, const E&> {
        using R = std::invoke_result_t<F, const E&>;
        if (isFailure()) return transform(std::get<1>(storage_));
        return R::success(std::get<0>(storage_));
    }
    // Like map, but a transform that throws becomes a failure with its error.
    template <class F>
    auto tryMap(F&& transform) const -> Result<std::invoke_result_t<F, const T&>, ErrorPtr> {
        using U = std::invoke_result_t<F, const T&>;
        if (isFailure()) return Result<U, ErrorPtr>::failure(toErrorPtr(std::get<1>(storage_)));
        try {
            return Result<U, ErrorPtr>::success(transform(std::get<0>(storage_)));
        } catch (...) {
            return Result<U, ErrorPtr>::failure(errorFromCurrentException());
        }
    }
    template <class F>
    auto tryMapError(F&& transform) const -> Result<T, ErrorPtr> {
        if (isSuccess()) return Result<T, ErrorPtr>::success(std::get<0>(storage_));
        try {
            return Result<T, ErrorPtr>::failure(transform(std::get<1>(storage_)));
        } catch (...) {
            return Result<T, ErrorPtr>::failure(errorFromCurrentException());
        }
    }

    friend bool operator==(const Result& a, const Result& b) { return a.storage_ == b.storage_; }

private:
    template <std::size_t I, class V>
    Result(std::in_place_index_t<I> tag, V&& v) : storage_(tag, std::forward<V>(v)) {}

    static ErrorPtr toErrorPtr(const E& e) {
        if constexpr (std::is_convertible_v<E, ErrorPtr>) return e;
        else if constexpr (std::is_base_of_v<Error, E>) return std::make_shared<E>(e);
        else {
            static_assert(sizeof(E) == 0, "the failure type is not an error");
            return nullptr;
        }
    }

    std::variant<T, E> storage_;
};

}  // namespace platform
