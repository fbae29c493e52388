// A view or layout guide (held weakly) paired with the attributes a constraint speaks of.
#pragma once
#include <memory>
#include <optional>

#include "Clasp/ConstraintAttributes.h"
#include "Clasp/LayoutConstraintItem.h"
#include "platform/runtime/Object.h"

namespace Clasp {

class ConstraintItem;
using ConstraintItemPtr = std::shared_ptr<ConstraintItem>;

class ConstraintItem {
public:
    ConstraintItem(const platform::ObjectPtr& target, ConstraintAttributes attributes)
        : target_(target), attributes_(attributes) {}
    static ConstraintItemPtr create(const platform::ObjectPtr& target, ConstraintAttributes attributes) {
        return std::make_shared<ConstraintItem>(target, attributes);
    }

    // Null when there never was a target or it is gone.
    platform::ObjectPtr target() const { return target_.lock(); }
    ConstraintAttributes attributes() const { return attributes_; }
    // The target when it is alive and a view or layout guide.
    std::optional<LayoutConstraintItem> layoutConstraintItem() const { return LayoutConstraintItem::from(target()); }

    // The same item, or both targets alive and the same object with equal attributes;
    // an item whose target is gone equals only itself.
    bool isEqual(const ConstraintItem& other) const;

private:
    std::weak_ptr<platform::Object> target_;
    ConstraintAttributes attributes_;
};

}  // namespace Clasp
