// How the library names value types and prints values in its texts: a type-name
// trait with the platform's own names ("Int", "String" …) and a text form per value.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/Void.h"

namespace Pledge {

namespace detail {
// The unqualified name of a type as the compiler spells it in a function signature.
std::string unqualifiedName(std::string_view prettyFunction);
std::string describeDouble(double value);
std::string quoted(std::string_view text);

template <class T>
std::string compilerTypeName() {
    return unqualifiedName(__PRETTY_FUNCTION__);
}
}  // namespace detail

// TypeName<T>::name(): the unqualified name the library's texts use for T.
// Specialise it for a type whose name should read differently.
template <class T, class = void>
struct TypeName {
    static std::string name() { return detail::compilerTypeName<T>(); }
};
template <>
struct TypeName<bool> {
    static std::string name() { return "Bool"; }
};
template <>
struct TypeName<double> {
    static std::string name() { return "Double"; }
};
template <>
struct TypeName<float> {
    static std::string name() { return "Float"; }
};
template <>
struct TypeName<std::string> {
    static std::string name() { return "String"; }
};
template <>
struct TypeName<platform::Void> {
    static std::string name() { return "()"; }
};
template <>
struct TypeName<platform::ErrorPtr> {
    static std::string name() { return "Error"; }
};
template <class T>
struct TypeName<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
    static std::string name() { return std::is_signed_v<T> ? "Int" : "UInt"; }
};
template <class T>
struct TypeName<std::vector<T>> {
    static std::string name() { return "Array<" + TypeName<T>::name() + ">"; }
};
template <class T>
struct TypeName<std::optional<T>> {
    static std::string name() { return "Optional<" + TypeName<T>::name() + ">"; }
};
template <class K, class V>
struct TypeName<std::map<K, V>> {
    static std::string name() { return "Dictionary<" + TypeName<K>::name() + ", " + TypeName<V>::name() + ">"; }
};

std::string errorText(const platform::ErrorPtr& error);

template <class T>
std::string describe(const T& value);

namespace detail {
// clang-format off
template <class T>
concept HasDescription = requires(const T& v) {
    { v.description() } -> std::convertible_to<std::string>;
};
// clang-format on

// The form a value takes inside a collection: texts are quoted there.
template <class T>
std::string debugDescribe(const T& value) {
    if constexpr (std::is_convertible_v<const T&, std::string_view>) return quoted(std::string_view(value));
    else return describe(value);
}
}  // namespace detail

// The default text form of a value ("5", "3.0", "true", "[1, 2]", "[\"a\": 1]", "(1, \"b\")",
// "Optional(1)", "nil").
template <class T>
std::string describe(const T& value) {
    if constexpr (std::is_same_v<T, bool>) return value ? "true" : "false";
    else if constexpr (std::is_integral_v<T>) return std::to_string(value);
    else if constexpr (std::is_floating_point_v<T>) return detail::describeDouble(static_cast<double>(value));
    else if constexpr (std::is_convertible_v<const T&, std::string_view>) return std::string(std::string_view(value));
    else if constexpr (std::is_same_v<T, platform::Void>) return "()";
    else if constexpr (std::is_convertible_v<const T&, platform::ErrorPtr>) return errorText(value);
    else if constexpr (detail::HasDescription<T>) return value.description();
    else if constexpr (requires {
                           typename T::value_type;
                           value.has_value();
                           *value;
                       }) {
        return value ? "Optional(" + detail::debugDescribe(*value) + ")" : "nil";
    } else if constexpr (requires {
                             typename T::key_type;
                             typename T::mapped_type;
                             value.begin();
                         }) {
        if (value.empty()) return "[:]";
        std::string text = "[";
        bool first = true;
        for (const auto& [k, v] : value) {
            if (!first) text += ", ";
            first = false;
            text += detail::debugDescribe(k) + ": " + detail::debugDescribe(v);
        }
        return text + "]";
    } else if constexpr (
        requires { std::tuple_size<T>::value; } && !requires { value.begin(); }) {
        std::string text = "(";
        std::apply(
            [&](const auto&... parts) {
                bool first = true;
                ((text += (first ? "" : ", ") + detail::debugDescribe(parts), first = false), ...);
            },
            value);
        return text + ")";
    } else if constexpr (requires {
                             value.begin();
                             value.end();
                             typename T::value_type;
                         }) {
        std::string text = "[";
        bool first = true;
        for (const auto& element : value) {
            if (!first) text += ", ";
            first = false;
            text += detail::debugDescribe(element);
        }
        return text + "]";
    } else {
        return TypeName<T>::name();
    }
}

}  // namespace Pledge
