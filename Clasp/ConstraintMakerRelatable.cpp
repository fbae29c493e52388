// Classifying the related target and recording the relation.
#include "Clasp/ConstraintMakerRelatable.h"

#include "platform/base/Fatal.h"

namespace Clasp {

namespace {

std::string position(std::source_location where) {
    return std::string("(") + where.file_name() + ", " + std::to_string(where.line()) + ")";
}

// Margins have no platform attributes here, but relating edges to margins (and back)
// stays allowed so that layouts written for both read the same.
bool isAllowedPairing(ConstraintAttributes item, ConstraintAttributes described) {
    using A = ConstraintAttributes;
    return (item == A::edges && described == A::margins) || (item == A::margins && described == A::edges) ||
           (item == A::directionalEdges && described == A::directionalMargins) ||
           (item == A::directionalMargins && described == A::directionalEdges);
}

}  // namespace

ConstraintMakerEditable ConstraintMakerRelatable::relatedTo(const ConstraintRelatableTarget& other,
                                                            ConstraintRelation relation, std::source_location where) {
    auto& d = *description_;
    ConstraintItemPtr related;
    ConstraintConstantTarget constant(0.0);
    const auto& target = other.storage();
    if (auto* item = std::get_if<ConstraintItemPtr>(&target); item && *item) {
        related = *item;
        auto itemAttributes = related->attributes().layoutAttributes();
        if (!related->attributes().isEmpty() && itemAttributes.size() > 1 &&
            d.attributes.layoutAttributes() != itemAttributes && !isAllowedPairing(related->attributes(), d.attributes))
            platform::fatal("Cannot constraint to multiple non identical attributes. " + position(where), where);
    } else if (auto* constantTarget = std::get_if<ConstraintConstantTarget>(&target)) {
        related = ConstraintItem::create(nullptr, ConstraintAttributes::none);
        constant = *constantTarget;
    } else if (auto* object = std::get_if<platform::ObjectPtr>(&target);
               object && (std::dynamic_pointer_cast<platform::NSView>(*object) ||
                          std::dynamic_pointer_cast<platform::NSLayoutGuide>(*object))) {
        related = ConstraintItem::create(*object, ConstraintAttributes::none);
    } else {
        platform::fatal("Invalid constraint. " + position(where), where);
    }
    d.sourceLocation = ConstraintSourceLocation{where.file_name(), static_cast<unsigned>(where.line())};
    d.relation = relation;
    d.related = related;
    d.constant = constant;
    return ConstraintMakerEditable(description_);
}

ConstraintMakerEditable ConstraintMakerRelatable::relatedToSuperview(ConstraintRelation relation, const char* name,
                                                                     std::source_location where) {
    auto item = LayoutConstraintItem::from(description_->item);
    auto superview = item ? item->superview() : nullptr;
    if (!superview)
        platform::fatal(std::string("Expected superview but found nil when attempting make constraint `") + name + "`.",
                        where);
    return relatedTo(superview, relation, where);
}

ConstraintMakerEditable ConstraintMakerRelatable::equalToSuperview(std::source_location where) {
    return relatedToSuperview(ConstraintRelation::equal, "equalToSuperview", where);
}
ConstraintMakerEditable ConstraintMakerRelatable::lessThanOrEqualToSuperview(std::source_location where) {
    return relatedToSuperview(ConstraintRelation::lessThanOrEqual, "lessThanOrEqualToSuperview", where);
}
ConstraintMakerEditable ConstraintMakerRelatable::greaterThanOrEqualToSuperview(std::source_location where) {
    return relatedToSuperview(ConstraintRelation::greaterThanOrEqual, "greaterThanOrEqualToSuperview", where);
}

}  // namespace Clasp
