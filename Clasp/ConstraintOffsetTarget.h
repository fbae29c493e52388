// What the language accepts as an offset: a plain number, the same for every attribute.
#pragma once
#include "Clasp/ConstraintNumber.h"

namespace Clasp {

class ConstraintOffsetTarget {
public:
    template <ConstraintNumeric N>
    ConstraintOffsetTarget(N n) : value_(makeConstraintNumber(n)) {}
    double constraintOffsetTargetValue() const { return numberValue(value_); }

private:
    ConstraintNumber value_;
};

}  // namespace Clasp
