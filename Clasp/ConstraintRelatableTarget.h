// What may stand on the right of a relation: a number, point, size or insets (a
// constant), an attribute item of another view, a view, or a layout guide. Any other
// object is accepted here and refused by the relation step.
#pragma once
#include <concepts>
#include <memory>
#include <variant>

#include "Clasp/ConstraintConstantTarget.h"
#include "Clasp/ConstraintItem.h"
#include "platform/runtime/Object.h"

namespace Clasp {

class ConstraintRelatableTarget {
public:
    template <ConstraintNumeric N>
    ConstraintRelatableTarget(N n) : value_(ConstraintConstantTarget(n)) {}
    ConstraintRelatableTarget(platform::CGPoint p) : value_(ConstraintConstantTarget(p)) {}
    ConstraintRelatableTarget(platform::CGSize s) : value_(ConstraintConstantTarget(s)) {}
    ConstraintRelatableTarget(platform::NSEdgeInsets i) : value_(ConstraintConstantTarget(i)) {}
    ConstraintRelatableTarget(ConstraintItemPtr item) : value_(std::move(item)) {}
    // Views, layout guides and any other runtime object.
    template <class T>
        requires std::derived_from<T, platform::Object>
    ConstraintRelatableTarget(const std::shared_ptr<T>& object) : value_(platform::ObjectPtr(object)) {}

    using Storage = std::variant<ConstraintConstantTarget, ConstraintItemPtr, platform::ObjectPtr>;
    const Storage& storage() const { return value_; }

private:
    Storage value_;
};

}  // namespace Clasp
