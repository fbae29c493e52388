// The platform language's text forms of values, for messages and logs:
// `describing(x)` is the plain form ("a", 1, 1.0), `reflecting(x)` the debug form
// ("\"a\""). Collections show their elements in the debug form: ["a", "b"], [:],
// ["k": 1]; optionals show as Optional("x") or nil.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Date.h"
#include "platform/base/Value.h"

namespace platform {

// Shortest text that reads back as the same double; integral values keep ".0";
// exponent form below 1e-4 and from 2^53 (2^24 for floats): "1e-05", "1e+16";
// "inf", "-inf", "nan".
std::string doubleText(double d);
std::string floatText(float f);
// The text in quotes with \" \\ \n \r \t \0 escaped, other controls as \u{XX}.
std::string quotedText(std::string_view s);
// "N bytes".
std::string dataText(const Data& d);
// "2001-01-01 00:00:00 +0000".
std::string dateText(Date d);
// A value as the platform prints bridged values: strings bare at the top level and
// quoted inside collections, dictionaries as ["k": v].
std::string valueText(const Value& v, bool nested = false);

template <class T>
std::string describing(const T& v);
template <class T>
std::string reflecting(const T& v);

namespace text_detail {
template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsVector : std::false_type {};
template <class T, class A>
struct IsVector<std::vector<T, A>> : std::true_type {};
template <class T>
struct IsMap : std::false_type {};
template <class K, class V, class C, class A>
struct IsMap<std::map<K, V, C, A>> : std::true_type {};
template <class T>
struct IsSet : std::false_type {};
template <class T, class C, class A>
struct IsSet<std::set<T, C, A>> : std::true_type {};
// clang-format off
template <class T>
concept HasDescription = requires(const T& t) {
    { t.description() } -> std::convertible_to<std::string>;
};
// clang-format on
// clang-format off
template <class T>
concept HasDebugDescription = requires(const T& t) {
    { t.debugDescription() } -> std::convertible_to<std::string>;
};
// clang-format on

template <class Range>
std::string list(const Range& r) {
    std::string out = "[";
    bool first = true;
    for (const auto& e : r) {
        if (!first) out += ", ";
        first = false;
        out += reflecting(e);
    }
    return out + "]";
}
}  // namespace text_detail

template <class T>
std::string describing(const T& v) {
    using U = std::decay_t<T>;
    if constexpr (std::is_same_v<U, std::string> || std::is_same_v<U, std::string_view>) return std::string(v);
    else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) return std::string(v);
    else if constexpr (std::is_same_v<U, bool>) return v ? "true" : "false";
    else if constexpr (std::is_same_v<U, double>) return doubleText(v);
    else if constexpr (std::is_same_v<U, float>) return floatText(v);
    else if constexpr (std::is_integral_v<U>) return std::to_string(v);
    else if constexpr (std::is_same_v<U, Data>) return dataText(v);
    else if constexpr (std::is_same_v<U, Date>) return dateText(v);
    else if constexpr (std::is_same_v<U, Value>) return valueText(v);
    else if constexpr (std::is_same_v<U, std::nullptr_t>) return "nil";
    else if constexpr (text_detail::IsOptional<U>::value)
        return v ? "Optional(" + reflecting(*v) + ")" : std::string("nil");
    else if constexpr (text_detail::IsVector<U>::value || text_detail::IsSet<U>::value) return text_detail::list(v);
    else if constexpr (text_detail::IsMap<U>::value) {
        if (v.empty()) return "[:]";
        std::string out = "[";
        bool first = true;
        for (const auto& [key, value] : v) {
            if (!first) out += ", ";
            first = false;
            out += reflecting(key) + ": " + reflecting(value);
        }
        return out + "]";
    } else if constexpr (text_detail::HasDescription<U>) return v.description();
    else {
        static_assert(sizeof(U) == 0, "no text form for this type");
        return {};
    }
}

template <class T>
std::string reflecting(const T& v) {
    using U = std::decay_t<T>;
    if constexpr (std::is_same_v<U, std::string> || std::is_same_v<U, std::string_view> ||
                  std::is_same_v<U, const char*> || std::is_same_v<U, char*>)
        return quotedText(v);
    else if constexpr (std::is_same_v<U, Value>) return valueText(v, true);
    else if constexpr (text_detail::HasDebugDescription<U>) return v.debugDescription();
    else return describing(v);
}

}  // namespace platform
