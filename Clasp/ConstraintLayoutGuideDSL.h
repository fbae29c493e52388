// The entry to the language for a layout guide: the same operations as a view's,
// without the view-only settings.
#pragma once
#include "Clasp/ConstraintDSL.h"
#include "Clasp/ConstraintMaker.h"

namespace Clasp {

class ConstraintLayoutGuideDSL : public ConstraintAttributesDSL {
public:
    explicit ConstraintLayoutGuideDSL(platform::NSLayoutGuidePtr guide)
        : ConstraintAttributesDSL(guide), guide_(std::move(guide)) {}
    const platform::NSLayoutGuidePtr& guide() const { return guide_; }

    std::vector<ConstraintPtr> prepareConstraints(const ConstraintMaker::Closure& closure) const {
        return ConstraintMaker::prepareConstraints(guide_, closure);
    }
    void makeConstraints(const ConstraintMaker::Closure& closure) const {
        ConstraintMaker::makeConstraints(guide_, closure);
    }
    void remakeConstraints(const ConstraintMaker::Closure& closure) const {
        ConstraintMaker::remakeConstraints(guide_, closure);
    }
    void updateConstraints(const ConstraintMaker::Closure& closure) const {
        ConstraintMaker::updateConstraints(guide_, closure);
    }
    void removeConstraints() const { ConstraintMaker::removeConstraints(guide_); }

private:
    platform::NSLayoutGuidePtr guide_;
};

inline ConstraintLayoutGuideDSL clasp(const platform::NSLayoutGuidePtr& guide) {
    return ConstraintLayoutGuideDSL(guide);
}

}  // namespace Clasp
