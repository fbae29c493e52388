// A constraint priority with the named levels the language offers.
#pragma once
#include <compare>

namespace Clasp {

struct ConstraintPriority {
    float value = 1000;

    constexpr ConstraintPriority() = default;
    constexpr explicit ConstraintPriority(float v) : value(v) {}

    static constexpr ConstraintPriority required() { return ConstraintPriority(1000); }
    static constexpr ConstraintPriority high() { return ConstraintPriority(750); }
    // 501 rather than 500, so that it wins over the platform's window-size priority.
    static constexpr ConstraintPriority medium() { return ConstraintPriority(501); }
    static constexpr ConstraintPriority low() { return ConstraintPriority(250); }

    // Strideable: the distance between two priorities and advancing by an amount.
    constexpr float distanceTo(ConstraintPriority other) const { return other.value - value; }
    constexpr ConstraintPriority advancedBy(float n) const { return ConstraintPriority(value + n); }

    friend constexpr ConstraintPriority operator+(ConstraintPriority p, float n) { return p.advancedBy(n); }
    friend constexpr ConstraintPriority operator-(ConstraintPriority p, float n) { return p.advancedBy(-n); }
    friend constexpr bool operator==(ConstraintPriority, ConstraintPriority) = default;
    friend constexpr auto operator<=>(ConstraintPriority a, ConstraintPriority b) { return a.value <=> b.value; }
};

}  // namespace Clasp
