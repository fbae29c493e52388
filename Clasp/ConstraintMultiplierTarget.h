// What the language accepts as a multiplier: a plain number.
#pragma once
#include "Clasp/ConstraintNumber.h"

namespace Clasp {

class ConstraintMultiplierTarget {
public:
    template <ConstraintNumeric N>
    ConstraintMultiplierTarget(N n) : value_(makeConstraintNumber(n)) {}
    double constraintMultiplierTargetValue() const { return numberValue(value_); }

private:
    ConstraintNumber value_;
};

}  // namespace Clasp
