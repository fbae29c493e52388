// What the language accepts as a priority: a plain number or a named priority.
#pragma once
#include "Clasp/ConstraintNumber.h"
#include "Clasp/ConstraintPriority.h"

namespace Clasp {

class ConstraintPriorityTarget {
public:
    template <ConstraintNumeric N>
    ConstraintPriorityTarget(N n) : value_(makeConstraintNumber(n)) {}
    ConstraintPriorityTarget(ConstraintPriority p) : value_(p.value) {}
    float constraintPriorityTargetValue() const { return static_cast<float>(numberValue(value_)); }

private:
    ConstraintNumber value_;
};

}  // namespace Clasp
