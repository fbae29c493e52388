// What the language accepts as an inset: edge insets, or a number for all four sides.
#pragma once
#include <variant>

#include "Clasp/ConstraintNumber.h"
#include "platform/graphics/Geometry.h"

namespace Clasp {

class ConstraintInsetTarget {
public:
    template <ConstraintNumeric N>
    ConstraintInsetTarget(N n) : value_(makeConstraintNumber(n)) {}
    ConstraintInsetTarget(platform::NSEdgeInsets i) : value_(i) {}

    platform::NSEdgeInsets constraintInsetTargetValue() const {
        if (auto* i = std::get_if<platform::NSEdgeInsets>(&value_)) return *i;
        double n = numberValue(std::get<ConstraintNumber>(value_));
        return {n, n, n, n};
    }

private:
    std::variant<ConstraintNumber, platform::NSEdgeInsets> value_;
};

}  // namespace Clasp
