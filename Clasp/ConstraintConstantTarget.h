// What the language accepts as a constant: a number, a point, a size or edge insets,
// kept with its kind so that each platform attribute takes its own part of it.
#pragma once
#include <variant>

#include "Clasp/ConstraintNumber.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/graphics/Geometry.h"

namespace Clasp {

class ConstraintConstantTarget {
public:
    using Storage = std::variant<ConstraintNumber, platform::CGPoint, platform::CGSize, platform::NSEdgeInsets>;

    ConstraintConstantTarget() : value_(ConstraintNumber(0.0)) {}
    template <ConstraintNumeric N>
    ConstraintConstantTarget(N n) : value_(makeConstraintNumber(n)) {}
    ConstraintConstantTarget(ConstraintNumber n) : value_(n) {}
    ConstraintConstantTarget(platform::CGPoint p) : value_(p) {}
    ConstraintConstantTarget(platform::CGSize s) : value_(s) {}
    ConstraintConstantTarget(platform::NSEdgeInsets i) : value_(i) {}

    // The constant for one platform attribute: a number whatever the attribute; a size's
    // width or height; a point's x or y by axis; insets by side, signed so that an inset
    // shrinks the view (leading and trailing follow the layout direction).
    double constraintConstantTargetValue(platform::NSLayoutAttribute attribute) const;

    const Storage& storage() const { return value_; }

private:
    Storage value_;
};

}  // namespace Clasp
