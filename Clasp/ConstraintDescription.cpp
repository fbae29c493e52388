// The lazily made constraint of a description.
#include "Clasp/ConstraintDescription.h"

namespace Clasp {

ConstraintPtr ConstraintDescription::constraint() {
    if (made_) return constraint_;
    made_ = true;
    if (!relation || !related || !sourceLocation) return nullptr;
    constraint_ = Constraint::create(ConstraintItem::create(item, attributes), related, *relation, *sourceLocation,
                                     label, multiplier, constant, priority);
    return constraint_;
}

}  // namespace Clasp
