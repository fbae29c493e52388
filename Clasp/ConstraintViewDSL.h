// The entry to the language for a view: `clasp(view).makeConstraints(...)` and friends,
// attribute items, and the view's content priorities.
#pragma once
#include "Clasp/ConstraintDSL.h"
#include "Clasp/ConstraintMaker.h"

namespace Clasp {

class ConstraintViewDSL : public ConstraintAttributesDSL {
public:
    explicit ConstraintViewDSL(platform::NSViewPtr view) : ConstraintAttributesDSL(view), view_(std::move(view)) {}
    const platform::NSViewPtr& view() const { return view_; }

    std::vector<ConstraintPtr> prepareConstraints(const ConstraintMaker::Closure& closure) const {
        return ConstraintMaker::prepareConstraints(view_, closure);
    }
    void makeConstraints(const ConstraintMaker::Closure& closure) const {
        ConstraintMaker::makeConstraints(view_, closure);
    }
    void remakeConstraints(const ConstraintMaker::Closure& closure) const {
        ConstraintMaker::remakeConstraints(view_, closure);
    }
    void updateConstraints(const ConstraintMaker::Closure& closure) const {
        ConstraintMaker::updateConstraints(view_, closure);
    }
    void removeConstraints() const { ConstraintMaker::removeConstraints(view_); }

    float contentHuggingHorizontalPriority() const;
    void setContentHuggingHorizontalPriority(float p) const;
    float contentHuggingVerticalPriority() const;
    void setContentHuggingVerticalPriority(float p) const;
    float contentCompressionResistanceHorizontalPriority() const;
    void setContentCompressionResistanceHorizontalPriority(float p) const;
    float contentCompressionResistanceVerticalPriority() const;
    void setContentCompressionResistanceVerticalPriority(float p) const;

private:
    platform::NSViewPtr view_;
};

// Cheap to obtain each time: the value holds nothing but the view.
inline ConstraintViewDSL clasp(const platform::NSViewPtr& view) { return ConstraintViewDSL(view); }

}  // namespace Clasp
