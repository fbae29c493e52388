// Equality of constraint items.
#include "Clasp/ConstraintItem.h"

namespace Clasp {

bool ConstraintItem::isEqual(const ConstraintItem& other) const {
    if (this == &other) return true;
    auto a = target(), b = other.target();
    return a && b && a == b && attributes_ == other.attributes_;
}

}  // namespace Clasp
