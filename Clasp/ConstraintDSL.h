// The language value of a view, layout guide or layout support: its target, a label
// shown in constraint descriptions, and the attribute items used on the right of a
// relation (another view's bottom, say).
#pragma once
#include <optional>
#include <string>

#include "Clasp/ConstraintItem.h"

namespace Clasp {

// The label of any runtime object, kept on it as an associated object (copied).
std::optional<std::string> constraintLabel(const platform::Object& object);
void setConstraintLabel(platform::Object& object, const std::optional<std::string>& label);

class ConstraintDSL {
public:
    explicit ConstraintDSL(platform::ObjectPtr target) : target_(std::move(target)) {}
    const platform::ObjectPtr& target() const { return target_; }
    void setLabel(const std::optional<std::string>& label) { setConstraintLabel(*target_, label); }
    std::optional<std::string> label() const { return constraintLabel(*target_); }

protected:
    ConstraintItemPtr item(ConstraintAttributes attributes) const {
        return ConstraintItem::create(target_, attributes);
    }

    platform::ObjectPtr target_;  // held strongly, as the value holds its view
};

// Each getter makes a new item of the target (held weakly) with its attributes.
class ConstraintBasicAttributesDSL : public ConstraintDSL {
public:
    using ConstraintDSL::ConstraintDSL;
// clang-format off
#define CLASP_ITEM(name) \
    ConstraintItemPtr name() const { return item(ConstraintAttributes::name); }
    CLASP_ITEM(left) CLASP_ITEM(top) CLASP_ITEM(right) CLASP_ITEM(bottom) CLASP_ITEM(leading) CLASP_ITEM(trailing)
    CLASP_ITEM(width) CLASP_ITEM(height) CLASP_ITEM(centerX) CLASP_ITEM(centerY) CLASP_ITEM(edges)
    CLASP_ITEM(directionalEdges) CLASP_ITEM(horizontalEdges) CLASP_ITEM(verticalEdges)
    CLASP_ITEM(directionalHorizontalEdges) CLASP_ITEM(directionalVerticalEdges) CLASP_ITEM(size) CLASP_ITEM(center)
};

class ConstraintAttributesDSL : public ConstraintBasicAttributesDSL {
public:
    using ConstraintBasicAttributesDSL::ConstraintBasicAttributesDSL;
    CLASP_ITEM(lastBaseline) CLASP_ITEM(baseline) CLASP_ITEM(firstBaseline) CLASP_ITEM(leftMargin)
    CLASP_ITEM(topMargin) CLASP_ITEM(rightMargin) CLASP_ITEM(bottomMargin) CLASP_ITEM(leadingMargin)
    CLASP_ITEM(trailingMargin) CLASP_ITEM(centerXWithinMargins) CLASP_ITEM(centerYWithinMargins)
    CLASP_ITEM(margins) CLASP_ITEM(directionalMargins) CLASP_ITEM(centerWithinMargins)
#undef CLASP_ITEM
    // clang-format on
};

}  // namespace Clasp
