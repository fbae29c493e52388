// Constraint objects, activation on the common ancestor, anchors and descriptions.
#include "platform/appkit/NSLayoutConstraint.h"

#include <cstdio>

#include "platform/appkit/NSView.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSLayoutConstraint);

std::string layoutAttributeName(NSLayoutAttribute a) {
    static const char* names[] = {"notAnAttribute", "left",         "right",        "top",    "bottom",
                                  "leading",        "trailing",     "width",        "height", "centerX",
                                  "centerY",        "lastBaseline", "firstBaseline"};
    int i = static_cast<int>(a);
    return i >= 0 && i <= 12 ? names[i] : "unknown";
}

NSLayoutConstraint::NSLayoutConstraint(const ObjectPtr& firstItem, NSLayoutAttribute firstAttribute,
                                       NSLayoutRelation relation, const ObjectPtr& secondItem,
                                       NSLayoutAttribute secondAttribute, double multiplier, double constant)
    : first_(firstItem), second_(secondItem), hasSecond_(secondItem != nullptr), firstAttribute_(firstAttribute),
      secondAttribute_(secondItem ? secondAttribute : NSLayoutAttribute::notAnAttribute), relation_(relation),
      multiplier_(multiplier), constant_(constant) {}

NSLayoutConstraintPtr NSLayoutConstraint::constraintWithItem(const ObjectPtr& item1, NSLayoutAttribute attribute1,
                                                             NSLayoutRelation relation, const ObjectPtr& item2,
                                                             NSLayoutAttribute attribute2, double multiplier,
                                                             double constant) {
    return std::make_shared<NSLayoutConstraint>(item1, attribute1, relation, item2, attribute2, multiplier, constant);
}

void NSLayoutConstraint::touch() {
    ++generation_;
    if (auto o = owner_.lock()) o->invalidateLayoutTree();
}

void NSLayoutConstraint::setConstant(double constant) {
    if (constant_ == constant) return;
    constant_ = constant;
    touch();
}

void NSLayoutConstraint::setPriority(NSLayoutPriority priority) {
    if (priority_ == priority) return;
    priority_ = priority;
    touch();
}

bool NSLayoutConstraint::isActive() const {
    auto o = owner_.lock();
    if (!o) return false;
    for (const auto& c : o->constraints())
        if (c.get() == this) return true;
    return false;
}

static std::shared_ptr<NSView> viewOf(const ObjectPtr& item) {
    auto* li = dynamic_cast<LayoutItem*>(item.get());
    return li ? li->layoutView() : nullptr;
}

void NSLayoutConstraint::setActive(bool active) {
    if (active == isActive()) return;
    auto me = std::static_pointer_cast<NSLayoutConstraint>(shared_from_this());
    if (!active) {
        if (auto o = owner_.lock()) o->removeConstraint(me);
        return;
    }
    auto a = viewOf(firstItem());
    auto b = viewOf(secondItem());
    std::shared_ptr<NSView> owner = a;
    if (a && b) {
        owner = a->ancestorSharedWithView(*b);
        if (!owner) {
            std::fprintf(stderr, "Unable to activate constraint %s: its items have no common ancestor\n",
                         description().c_str());
            owner = a;
        }
    } else if (!a) {
        owner = b;
    }
    if (owner) owner->addConstraint(me);
}

void NSLayoutConstraint::activateConstraints(const std::vector<NSLayoutConstraintPtr>& constraints) {
    for (const auto& c : constraints)
        if (c) c->setActive(true);
}

void NSLayoutConstraint::deactivateConstraints(const std::vector<NSLayoutConstraintPtr>& constraints) {
    for (const auto& c : constraints)
        if (c) c->setActive(false);
}

static std::string number(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

std::string NSLayoutConstraint::description() const {
    std::string s = "<";
    s += className();
    if (!identifier_.empty()) {
        s += ':';
        s += identifier_;
    }
    auto item = [&](const ObjectPtr& o) {
        if (o) s += o->className();
        else s += "nil";
    };
    s += ' ';
    item(firstItem());
    s += '.';
    s += layoutAttributeName(firstAttribute_);
    s += relation_ == NSLayoutRelation::equal             ? " == "
         : relation_ == NSLayoutRelation::lessThanOrEqual ? " <= "
                                                          : " >= ";
    if (hasSecond_ && secondAttribute_ != NSLayoutAttribute::notAnAttribute) {
        item(secondItem());
        s += '.';
        s += layoutAttributeName(secondAttribute_);
        if (multiplier_ != 1) {
            s += " * ";
            s += number(multiplier_);
        }
        if (constant_ != 0) {
            s += constant_ > 0 ? " + " : " - ";
            s += number(constant_ > 0 ? constant_ : -constant_);
        }
    } else {
        s += number(constant_);
    }
    if (priority_ != NSLayoutPriorityRequired) {
        s += " @";
        s += number(priority_);
    }
    s += '>';
    return s;
}

// ---- anchors ----

NSLayoutConstraintPtr NSLayoutAnchor::make(NSLayoutRelation r, const NSLayoutAnchor* other, double multiplier,
                                           double constant) const {
    return NSLayoutConstraint::constraintWithItem(item(), attribute_, r, other ? other->item() : nullptr,
                                                  other ? other->attribute_ : NSLayoutAttribute::notAnAttribute,
                                                  multiplier, constant);
}

NSLayoutConstraintPtr NSLayoutAnchor::constraintEqualToAnchor(const NSLayoutAnchor& a, double c) const {
    return make(NSLayoutRelation::equal, &a, 1, c);
}
NSLayoutConstraintPtr NSLayoutAnchor::constraintGreaterThanOrEqualToAnchor(const NSLayoutAnchor& a, double c) const {
    return make(NSLayoutRelation::greaterThanOrEqual, &a, 1, c);
}
NSLayoutConstraintPtr NSLayoutAnchor::constraintLessThanOrEqualToAnchor(const NSLayoutAnchor& a, double c) const {
    return make(NSLayoutRelation::lessThanOrEqual, &a, 1, c);
}
NSLayoutConstraintPtr NSLayoutDimension::constraintEqualToConstant(double c) const {
    return make(NSLayoutRelation::equal, nullptr, 1, c);
}
NSLayoutConstraintPtr NSLayoutDimension::constraintGreaterThanOrEqualToConstant(double c) const {
    return make(NSLayoutRelation::greaterThanOrEqual, nullptr, 1, c);
}
NSLayoutConstraintPtr NSLayoutDimension::constraintLessThanOrEqualToConstant(double c) const {
    return make(NSLayoutRelation::lessThanOrEqual, nullptr, 1, c);
}
NSLayoutConstraintPtr NSLayoutDimension::constraintEqualToAnchor(const NSLayoutDimension& a, double m, double c) const {
    return make(NSLayoutRelation::equal, &a, m, c);
}

}  // namespace platform
