// The relation of a constraint and the platform relation it stands for.
#pragma once
#include <cstdint>

#include "platform/appkit/NSLayoutConstraint.h"

namespace Clasp {

enum class ConstraintRelation : std::uint8_t { equal = 0, lessThanOrEqual = 1, greaterThanOrEqual = 2 };

inline platform::NSLayoutRelation layoutRelation(ConstraintRelation relation) {
    switch (relation) {
        case ConstraintRelation::lessThanOrEqual: return platform::NSLayoutRelation::lessThanOrEqual;
        case ConstraintRelation::greaterThanOrEqual: return platform::NSLayoutRelation::greaterThanOrEqual;
        case ConstraintRelation::equal: break;
    }
    return platform::NSLayoutRelation::equal;
}

}  // namespace Clasp
