// The priority step of a chain.
#pragma once
#include "Clasp/ConstraintMakerFinalizable.h"

namespace Clasp {

class ConstraintMakerPrioritizable : public ConstraintMakerFinalizable {
public:
    using ConstraintMakerFinalizable::ConstraintMakerFinalizable;

    // A named priority gives its value; a number is kept as it is.
    ConstraintMakerFinalizable& priority(const ConstraintPriorityTarget& amount) {
        description_->priority = amount;
        return *this;
    }
    ConstraintMakerFinalizable& priorityRequired() { return priority(ConstraintPriority::required()); }
    ConstraintMakerFinalizable& priorityHigh() { return priority(ConstraintPriority::high()); }
    ConstraintMakerFinalizable& priorityMedium() { return priority(ConstraintPriority::medium()); }
    ConstraintMakerFinalizable& priorityLow() { return priority(ConstraintPriority::low()); }
};

}  // namespace Clasp
