// Labels of views and guides for constraint descriptions.
#include "Clasp/ConstraintDSL.h"

namespace Clasp {

namespace {
const char labelKey = 0;
}

std::optional<std::string> constraintLabel(const platform::Object& object) {
    auto value = object.associatedObject(&labelKey);
    if (auto* s = value.asString()) return *s;
    return std::nullopt;
}

void setConstraintLabel(platform::Object& object, const std::optional<std::string>& label) {
    object.setAssociatedObject(&labelKey, label ? platform::Value(*label) : platform::Value(),
                               platform::AssociationPolicy::copyNonatomic);
}

}  // namespace Clasp
