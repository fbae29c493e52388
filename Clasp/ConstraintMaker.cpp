// Running layout closures and installing, updating and removing their constraints.
#include "Clasp/ConstraintMaker.h"

namespace Clasp {

ConstraintMakerExtendable ConstraintMaker::makeExtendable(ConstraintAttributes attributes) {
    auto description = std::make_shared<ConstraintDescription>(item_, attributes);
    descriptions_.push_back(description);
    return ConstraintMakerExtendable(description);
}

std::vector<ConstraintPtr> ConstraintMaker::prepareConstraints(const platform::ObjectPtr& item,
                                                               const Closure& closure) {
    ConstraintMaker maker(item);
    if (auto view = std::dynamic_pointer_cast<platform::NSView>(item))
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
    if (closure) closure(maker);
    std::vector<ConstraintPtr> constraints;
    for (const auto& description : maker.descriptions_)
        if (auto c = description->constraint()) constraints.push_back(c);
    return constraints;
}

void ConstraintMaker::makeConstraints(const platform::ObjectPtr& item, const Closure& closure) {
    for (const auto& c : prepareConstraints(item, closure)) c->activateIfNeeded(false);
}

void ConstraintMaker::remakeConstraints(const platform::ObjectPtr& item, const Closure& closure) {
    removeConstraints(item);
    makeConstraints(item, closure);
}

void ConstraintMaker::updateConstraints(const platform::ObjectPtr& item, const Closure& closure) {
    auto layoutItem = LayoutConstraintItem::from(item);
    if (!layoutItem || layoutItem->constraints().empty()) {
        makeConstraints(item, closure);
        return;
    }
    for (const auto& c : prepareConstraints(item, closure)) c->activateIfNeeded(true);
}

void ConstraintMaker::removeConstraints(const platform::ObjectPtr& item) {
    auto layoutItem = LayoutConstraintItem::from(item);
    if (!layoutItem) return;
    for (const auto& c : layoutItem->constraints()) c->deactivateIfNeeded();
}

}  // namespace Clasp
