// The editing steps after a relation: multiplier, offset and inset.
#pragma once
#include "Clasp/ConstraintMakerPrioritizable.h"

namespace Clasp {

class ConstraintMakerEditable : public ConstraintMakerPrioritizable {
public:
    using ConstraintMakerPrioritizable::ConstraintMakerPrioritizable;

    ConstraintMakerEditable& multipliedBy(const ConstraintMultiplierTarget& amount) {
        description_->multiplier = amount;
        return *this;
    }
    ConstraintMakerEditable& dividedBy(const ConstraintMultiplierTarget& amount) {
        description_->multiplier = ConstraintMultiplierTarget(1.0 / amount.constraintMultiplierTargetValue());
        return *this;
    }
    // The same constant for every attribute.
    ConstraintMakerEditable& offset(const ConstraintOffsetTarget& amount) {
        description_->constant = ConstraintConstantTarget(amount.constraintOffsetTargetValue());
        return *this;
    }
    // Each attribute takes its own side, signed so that the view shrinks.
    ConstraintMakerEditable& inset(const ConstraintInsetTarget& amount) {
        description_->constant = ConstraintConstantTarget(amount.constraintInsetTargetValue());
        return *this;
    }
};

}  // namespace Clasp
