// Operators for a promise whose value is a sequence, each a thin `map` or `then` with an
// element-wise step; and the guarantee helpers that join guarantees.
#pragma once
#include <algorithm>
#include <iterator>
#include <vector>

#include "Pledge/when.h"
#include "platform/base/Fatal.h"

namespace Pledge {

namespace detail {
template <class C>
using ElementOf = std::decay_t<decltype(*std::begin(std::declval<const C&>()))>;
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::mapValues(On on, Flags flags, F transform) const {
    return map(std::move(on), flags, [transform = std::move(transform)](const T& values) mutable {
        std::vector<std::invoke_result_t<F&, const detail::ElementOf<T>&>> out;
        for (const auto& e : values) out.push_back(transform(e));
        return out;
    });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::flatMapValues(On on, Flags flags, F transform) const {
    return map(std::move(on), flags, [transform = std::move(transform)](const T& values) mutable {
        using S = std::invoke_result_t<F&, const detail::ElementOf<T>&>;
        std::vector<detail::ElementOf<S>> out;
        for (const auto& e : values)
            for (auto&& x : transform(e)) out.push_back(std::move(x));
        return out;
    });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::compactMapValues(On on, Flags flags, F transform) const {
    return map(std::move(on), flags, [transform = std::move(transform)](const T& values) mutable {
        using O = std::invoke_result_t<F&, const detail::ElementOf<T>&>;
        std::vector<typename O::value_type> out;
        for (const auto& e : values)
            if (auto x = transform(e)) out.push_back(std::move(*x));
        return out;
    });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::thenMap(On on, Flags flags, F transform) const {
    return Thenable<D, T>::then(std::move(on), flags, [transform = std::move(transform)](const T& values) mutable {
        using U = std::invoke_result_t<F&, const detail::ElementOf<T>&>;
        std::vector<U> thenables;
        for (const auto& e : values) thenables.push_back(transform(e));
        return whenFulfilled(thenables);
    });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::thenFlatMap(On on, Flags flags, F transform) const {
    return thenMap(std::move(on), flags, std::move(transform)).map(nullptr, [](const auto& arrays) {
        std::vector<detail::ElementOf<detail::ElementOf<std::decay_t<decltype(arrays)>>>> out;
        for (const auto& a : arrays) out.insert(out.end(), std::begin(a), std::end(a));
        return out;
    });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::filterValues(On on, Flags flags, F test) const {
    return map(std::move(on), flags, [test = std::move(test)](const T& values) mutable {
        std::vector<detail::ElementOf<T>> out;
        for (const auto& e : values)
            if (test(e)) out.push_back(e);
        return out;
    });
}

template <class D, class T>
template <class F>
auto Thenable<D, T>::firstValueWhere(On on, Flags flags, F test) const {
    return map(std::move(on), flags, [test = std::move(test)](const T& values) mutable {
        for (const auto& e : values)
            if (test(e)) return detail::ElementOf<T>(e);
        throw platform::ErrorException(PLGError::emptySequence());
    });
}

template <class D, class T>
auto Thenable<D, T>::firstValue() const {
    return map(nullptr, [](const T& values) {
        if (std::begin(values) == std::end(values)) throw platform::ErrorException(PLGError::emptySequence());
        return detail::ElementOf<T>(*std::begin(values));
    });
}

template <class D, class T>
auto Thenable<D, T>::lastValue() const {
    return map(nullptr, [](const T& values) {
        if (std::begin(values) == std::end(values)) throw platform::ErrorException(PLGError::emptySequence());
        return detail::ElementOf<T>(*std::prev(std::end(values)));
    });
}

template <class D, class T>
auto Thenable<D, T>::sortedValues(On on, Flags flags) const {
    return map(std::move(on), flags, [](const T& values) {
        std::vector<detail::ElementOf<T>> out(std::begin(values), std::end(values));
        std::stable_sort(out.begin(), out.end());
        return out;
    });
}

namespace detail {
[[noreturn]] void joinedGuaranteesRejected(const ErrorPtr& error, int line);
}

template <class T>
template <class F>
auto Guarantee<T>::thenMap(On on, Flags flags, F transform) const {
    using U = typename std::invoke_result_t<F&, const detail::ElementOf<T>&>::ValueType;
    return Thenable<Guarantee<T>, T>::then(std::move(on), flags,
                                           [transform = std::move(transform)](const T& values) mutable {
                                               std::vector<Guarantee<U>> guarantees;
                                               for (const auto& e : values) guarantees.push_back(transform(e));
                                               return whenFulfilled(guarantees);
                                           })
        .recover(conf().Q.map,
                 [](const ErrorPtr& e) -> Guarantee<std::vector<U>> { detail::joinedGuaranteesRejected(e, 256); });
}

template <class T>
template <class F>
auto Guarantee<T>::thenFlatMap(On on, Flags flags, F transform) const {
    using S = typename std::invoke_result_t<F&, const detail::ElementOf<T>&>::ValueType;
    using U = detail::ElementOf<S>;
    return Thenable<Guarantee<T>, T>::then(std::move(on), flags,
                                           [transform = std::move(transform)](const T& values) mutable {
                                               std::vector<Guarantee<S>> guarantees;
                                               for (const auto& e : values) guarantees.push_back(transform(e));
                                               return whenFulfilled(guarantees);
                                           })
        .map(nullptr,
             [](const std::vector<S>& arrays) {
                 std::vector<U> out;
                 for (const auto& a : arrays) out.insert(out.end(), std::begin(a), std::end(a));
                 return out;
             })
        .recover(conf().Q.map,
                 [](const ErrorPtr& e) -> Guarantee<std::vector<U>> { detail::joinedGuaranteesRejected(e, 276); });
}

}  // namespace Pledge
