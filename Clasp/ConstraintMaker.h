// What a layout closure receives: one maker per view or layout guide; each attribute
// getter starts a chain (a description). The static operations prepare, make, remake,
// update and remove the constraints of an item.
#pragma once
#include <functional>
#include <vector>

#include "Clasp/ConstraintMakerExtendable.h"

namespace Clasp {

class ConstraintMaker {
public:
    explicit ConstraintMaker(platform::ObjectPtr item) : item_(std::move(item)) {}

#define CLASP_START(name)                                                                                              \
    ConstraintMakerExtendable name() { return makeExtendable(ConstraintAttributes::name); }
    CLASP_CHAIN_ATTRIBUTES(CLASP_START)
    CLASP_START(center)
#undef CLASP_START

    const platform::ObjectPtr& item() const { return item_; }
    const std::vector<ConstraintDescriptionPtr>& descriptions() const { return descriptions_; }

    using Closure = std::function<void(ConstraintMaker&)>;
    // The closure's constraints in chain order, none active; a view stops translating
    // its autoresizing mask first.
    static std::vector<ConstraintPtr> prepareConstraints(const platform::ObjectPtr& item, const Closure& closure);
    static void makeConstraints(const platform::ObjectPtr& item, const Closure& closure);
    static void remakeConstraints(const platform::ObjectPtr& item, const Closure& closure);
    // Makes on the first call; afterwards only changes the constants of installed ones.
    static void updateConstraints(const platform::ObjectPtr& item, const Closure& closure);
    static void removeConstraints(const platform::ObjectPtr& item);

private:
    ConstraintMakerExtendable makeExtendable(ConstraintAttributes attributes);

    platform::ObjectPtr item_;
    std::vector<ConstraintDescriptionPtr> descriptions_;
};

}  // namespace Clasp
