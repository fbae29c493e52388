// The last steps of a chain: a label, and the constraint the chain describes.
#pragma once
#include <string>

#include "Clasp/ConstraintDescription.h"

namespace Clasp {

class ConstraintMakerFinalizable {
public:
    explicit ConstraintMakerFinalizable(ConstraintDescriptionPtr description) : description_(std::move(description)) {}

    ConstraintMakerFinalizable& labeled(const std::string& label) {
        description_->label = label;
        return *this;
    }
    // Always present: this step exists only after a relation step.
    ConstraintPtr constraint() const { return description_->constraint(); }
    const ConstraintDescriptionPtr& description() const { return description_; }

protected:
    ConstraintDescriptionPtr description_;
};

}  // namespace Clasp
