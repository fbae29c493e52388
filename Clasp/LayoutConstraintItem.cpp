// Superviews and installed-constraint sets of views and layout guides.
#include "Clasp/LayoutConstraintItem.h"

#include <algorithm>

namespace Clasp {

PLATFORM_REGISTER_CLASS(ConstraintSet);

namespace {
const char constraintsKey = 0;
}

void ConstraintSet::add(const ConstraintPtr& c) {
    if (std::find(members_.begin(), members_.end(), c) == members_.end()) members_.push_back(c);
}

void ConstraintSet::remove(const ConstraintPtr& c) {
    members_.erase(std::remove(members_.begin(), members_.end(), c), members_.end());
}

std::optional<LayoutConstraintItem> LayoutConstraintItem::from(const platform::ObjectPtr& object) {
    if (std::dynamic_pointer_cast<platform::NSView>(object) ||
        std::dynamic_pointer_cast<platform::NSLayoutGuide>(object))
        return LayoutConstraintItem(object);
    return std::nullopt;
}

platform::NSViewPtr LayoutConstraintItem::superview() const {
    if (auto v = view()) return v->superview();
    if (auto g = std::dynamic_pointer_cast<platform::NSLayoutGuide>(object_)) return g->owningView();
    return nullptr;
}

std::shared_ptr<ConstraintSet> LayoutConstraintItem::constraintsSet() const {
    if (auto existing = object_->associatedObject(&constraintsKey).asObject<ConstraintSet>()) return existing;
    auto set = std::make_shared<ConstraintSet>();
    object_->setAssociatedObject(&constraintsKey, platform::Value(platform::ObjectPtr(set)),
                                 platform::AssociationPolicy::retainNonatomic);
    return set;
}

void LayoutConstraintItem::add(const std::vector<ConstraintPtr>& constraints) const {
    auto set = constraintsSet();
    for (const auto& c : constraints) set->add(c);
}

void LayoutConstraintItem::remove(const std::vector<ConstraintPtr>& constraints) const {
    auto set = constraintsSet();
    for (const auto& c : constraints) set->remove(c);
}

}  // namespace Clasp
