// Platform constraints of the language and their descriptions.
#include "Clasp/LayoutConstraint.h"

#include <cstdio>

#include "Clasp/Constraint.h"
#include "Clasp/ConstraintDSL.h"
#include "platform/appkit/NSView.h"
#include "platform/foundation/TextForms.h"

namespace Clasp {

PLATFORM_REGISTER_CLASS(LayoutConstraint);

using platform::NSLayoutAttribute;

std::shared_ptr<LayoutConstraint>
LayoutConstraint::constraintWithItem(const platform::ObjectPtr& item1, NSLayoutAttribute attribute1,
                                     platform::NSLayoutRelation relation, const platform::ObjectPtr& item2,
                                     NSLayoutAttribute attribute2, double multiplier, double constant) {
    return std::make_shared<LayoutConstraint>(item1, attribute1, relation, item2, attribute2, multiplier, constant);
}

std::optional<std::string> LayoutConstraint::label() const {
    if (identifier().empty()) return std::nullopt;
    return identifier();
}

namespace {

std::string lastPathComponent(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string descriptionForObject(const platform::Object& object) {
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<const void*>(&object));
    // Appended piece by piece: concatenating onto literals trips a false -Wrestrict in g++ 12.
    std::string text = object.className();
    text += ':';
    if (auto* view = dynamic_cast<const platform::NSView*>(&object)) {
        auto label = constraintLabel(*view);
        text += label ? *label : std::string(pointer);
    } else if (auto* lc = dynamic_cast<const LayoutConstraint*>(&object)) {
        text += lc->identifier().empty() ? std::string(pointer) : lc->identifier();
    } else {
        text += pointer;
    }
    if (auto* lc = dynamic_cast<const LayoutConstraint*>(&object)) {
        if (auto owner = lc->constraint()) {
            text += '@';
            text += lastPathComponent(owner->sourceLocation().file);
            text += '#';
            text += std::to_string(owner->sourceLocation().line);
        }
    }
    return text;
}

std::string LayoutConstraint::description() const {
    std::string text = "<";
    text += descriptionForObject(*this);
    if (auto first = firstItem()) {
        text += ' ';
        text += descriptionForObject(*first);
    }
    if (firstAttribute() != NSLayoutAttribute::notAnAttribute) {
        text += '.';
        text += platform::layoutAttributeName(firstAttribute());
    }
    switch (relation()) {
        case platform::NSLayoutRelation::lessThanOrEqual: text += " <="; break;
        case platform::NSLayoutRelation::equal: text += " =="; break;
        case platform::NSLayoutRelation::greaterThanOrEqual: text += " >="; break;
        default: text += " unknown"; break;
    }
    if (auto second = secondItem()) {
        text += ' ';
        text += descriptionForObject(*second);
    }
    if (secondAttribute() != NSLayoutAttribute::notAnAttribute) {
        text += '.';
        text += platform::layoutAttributeName(secondAttribute());
    }
    if (multiplier() != 1.0) {
        text += " * ";
        text += platform::doubleText(multiplier());
    }
    double c = constant();
    if (secondAttribute() == NSLayoutAttribute::notAnAttribute) {
        text += ' ';
        text += platform::doubleText(c);
    } else if (c != 0) {
        text += c > 0 ? " + " : " - ";
        text += platform::doubleText(c > 0 ? c : -c);
    }
    if (priority() != 1000) {
        text += " ^";
        text += platform::floatText(priority());
    }
    text += '>';
    return text;
}

}  // namespace Clasp
