// A layout support (a stateless object used only on the right of a relation) and its
// language value, which offers its top, bottom and height.
#pragma once
#include "Clasp/ConstraintDSL.h"
#include "platform/runtime/Class.h"

namespace Clasp {

class ConstraintLayoutSupport : public platform::Object {
    PLATFORM_OBJECT_NAMED(ConstraintLayoutSupport, platform::Object, "Clasp.ConstraintLayoutSupport")
};

class ConstraintLayoutSupportDSL : public ConstraintDSL {
public:
    explicit ConstraintLayoutSupportDSL(std::shared_ptr<ConstraintLayoutSupport> support)
        : ConstraintDSL(support), support_(std::move(support)) {}
    const std::shared_ptr<ConstraintLayoutSupport>& support() const { return support_; }

    ConstraintItemPtr top() const { return item(ConstraintAttributes::top); }
    ConstraintItemPtr bottom() const { return item(ConstraintAttributes::bottom); }
    ConstraintItemPtr height() const { return item(ConstraintAttributes::height); }

private:
    std::shared_ptr<ConstraintLayoutSupport> support_;
};

inline ConstraintLayoutSupportDSL clasp(const std::shared_ptr<ConstraintLayoutSupport>& support) {
    return ConstraintLayoutSupportDSL(support);
}

}  // namespace Clasp
