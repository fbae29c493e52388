// Content priorities of a view through its language value.
#include "Clasp/ConstraintViewDSL.h"

namespace Clasp {

using platform::NSLayoutConstraintOrientation;

float ConstraintViewDSL::contentHuggingHorizontalPriority() const {
    return view_->contentHuggingPriorityForOrientation(NSLayoutConstraintOrientation::horizontal);
}
void ConstraintViewDSL::setContentHuggingHorizontalPriority(float p) const {
    view_->setContentHuggingPriority(p, NSLayoutConstraintOrientation::horizontal);
}
float ConstraintViewDSL::contentHuggingVerticalPriority() const {
    return view_->contentHuggingPriorityForOrientation(NSLayoutConstraintOrientation::vertical);
}
void ConstraintViewDSL::setContentHuggingVerticalPriority(float p) const {
    view_->setContentHuggingPriority(p, NSLayoutConstraintOrientation::vertical);
}
float ConstraintViewDSL::contentCompressionResistanceHorizontalPriority() const {
    return view_->contentCompressionResistancePriorityForOrientation(NSLayoutConstraintOrientation::horizontal);
}
void ConstraintViewDSL::setContentCompressionResistanceHorizontalPriority(float p) const {
    view_->setContentCompressionResistancePriority(p, NSLayoutConstraintOrientation::horizontal);
}
float ConstraintViewDSL::contentCompressionResistanceVerticalPriority() const {
    return view_->contentCompressionResistancePriorityForOrientation(NSLayoutConstraintOrientation::vertical);
}
void ConstraintViewDSL::setContentCompressionResistanceVerticalPriority(float p) const {
    view_->setContentCompressionResistancePriority(p, NSLayoutConstraintOrientation::vertical);
}

}  // namespace Clasp
