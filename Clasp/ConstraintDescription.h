// What one chain of the language has said so far: the item and its attributes, and,
// once a relation step ran, the related item, constant, multiplier, priority and label.
// Its constraint is made on first read and kept.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "Clasp/Constraint.h"

namespace Clasp {

class ConstraintDescription {
public:
    ConstraintDescription(platform::ObjectPtr item, ConstraintAttributes attributes)
        : item(std::move(item)), attributes(attributes) {}

    platform::ObjectPtr item;  // the view or layout guide, held strongly
    ConstraintAttributes attributes;
    std::optional<ConstraintRelation> relation;
    std::optional<ConstraintSourceLocation> sourceLocation;
    std::optional<std::string> label;
    ConstraintItemPtr related;
    ConstraintMultiplierTarget multiplier{1.0};
    ConstraintConstantTarget constant{0.0};
    ConstraintPriorityTarget priority{1000.0};

    // Null for a chain without a relation step. Later edits of the description do not
    // reach a constraint already made.
    ConstraintPtr constraint();

private:
    bool made_ = false;
    ConstraintPtr constraint_;
};
using ConstraintDescriptionPtr = std::shared_ptr<ConstraintDescription>;

}  // namespace Clasp
