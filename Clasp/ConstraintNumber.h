// A plain number as the language accepts it (integer, unsigned, 32- or 64-bit float),
// kept with its kind until it is turned into the platform's numbers.
#pragma once
#include <cstdint>
#include <type_traits>
#include <variant>

namespace Clasp {

using ConstraintNumber = std::variant<double, float, std::int64_t, std::uint64_t>;

// clang-format off
template <class N>
concept ConstraintNumeric = std::is_arithmetic_v<N> && !std::is_same_v<N, bool>;
// clang-format on

template <ConstraintNumeric N>
constexpr ConstraintNumber makeConstraintNumber(N n) {
    if constexpr (std::is_same_v<N, float>) return n;
    else if constexpr (std::is_floating_point_v<N>) return static_cast<double>(n);
    else if constexpr (std::is_signed_v<N>) return static_cast<std::int64_t>(n);
    else return static_cast<std::uint64_t>(n);
}

inline double numberValue(const ConstraintNumber& n) {
    return std::visit([](auto v) { return static_cast<double>(v); }, n);
}

}  // namespace Clasp
