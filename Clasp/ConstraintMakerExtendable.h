// The attribute steps after the first: each widens the same description.
#pragma once
#include "Clasp/ConstraintMakerRelatable.h"

namespace Clasp {

// The attribute getters of the makers, in their order. A chain's later steps have all
// but `center`.
// clang-format off
#define CLASP_CHAIN_ATTRIBUTES(X)                                                                                   \
    X(left) X(top) X(bottom) X(right) X(leading) X(trailing) X(width) X(height) X(centerX) X(centerY) X(baseline) \
    X(lastBaseline) X(firstBaseline) X(leftMargin) X(rightMargin) X(topMargin) X(bottomMargin) X(leadingMargin)   \
    X(trailingMargin) X(centerXWithinMargins) X(centerYWithinMargins) X(edges) X(horizontalEdges) X(verticalEdges) \
    X(directionalEdges) X(directionalHorizontalEdges) X(directionalVerticalEdges) X(size) X(margins)              \
    X(directionalMargins) X(centerWithinMargins)

class ConstraintMakerExtendable : public ConstraintMakerRelatable {
public:
    using ConstraintMakerRelatable::ConstraintMakerRelatable;

#define CLASP_EXTEND(name)                                             \
    ConstraintMakerExtendable& name() {                                \
        description_->attributes.formUnion(ConstraintAttributes::name); \
        return *this;                                                  \
    }
    CLASP_CHAIN_ATTRIBUTES(CLASP_EXTEND)
#undef CLASP_EXTEND
    // clang-format on
};

}  // namespace Clasp
