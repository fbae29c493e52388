// Expansion into platform constraints, activation, deactivation and updates.
#include "Clasp/Constraint.h"

#include <cstdio>

#include "platform/base/Fatal.h"

namespace Clasp {

using platform::NSLayoutAttribute;

namespace {

void printLine(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The attribute a constant is computed for: the related attribute, or the constrained
// one when there is nothing on the other side.
NSLayoutAttribute attributeOfReference(const platform::NSLayoutConstraint& c) {
    return c.secondAttribute() != NSLayoutAttribute::notAnAttribute ? c.secondAttribute() : c.firstAttribute();
}

bool matches(const platform::NSLayoutConstraint& existing, const platform::NSLayoutConstraint& wanted) {
    return existing.firstAttribute() == wanted.firstAttribute() &&
           existing.secondAttribute() == wanted.secondAttribute() && existing.relation() == wanted.relation() &&
           existing.priority() == wanted.priority() && existing.multiplier() == wanted.multiplier() &&
           existing.secondItem() == wanted.secondItem() && existing.firstItem() == wanted.firstItem();
}

}  // namespace

ConstraintPtr Constraint::create(ConstraintItemPtr from, ConstraintItemPtr to, ConstraintRelation relation,
                                 ConstraintSourceLocation sourceLocation, std::optional<std::string> label,
                                 ConstraintMultiplierTarget multiplier, ConstraintConstantTarget constant,
                                 ConstraintPriorityTarget priority) {
    auto c = std::make_shared<Constraint>(Key(), std::move(from), std::move(to), relation, std::move(sourceLocation),
                                          std::move(label), multiplier, constant, priority);
    c->build();
    return c;
}

Constraint::Constraint(Key, ConstraintItemPtr from, ConstraintItemPtr to, ConstraintRelation relation,
                       ConstraintSourceLocation sourceLocation, std::optional<std::string> label,
                       ConstraintMultiplierTarget multiplier, ConstraintConstantTarget constant,
                       ConstraintPriorityTarget priority)
    : sourceLocation_(std::move(sourceLocation)), label_(std::move(label)), from_(std::move(from)), to_(std::move(to)),
      relation_(relation), multiplier_(multiplier), constant_(constant), priority_(priority) {}

void Constraint::build() {
    auto fromAttributes = from_->attributes().layoutAttributes();
    auto toAttributes = to_->attributes().layoutAttributes();
    // The maker holds its view or guide strongly while constraints are created.
    auto fromItem = from_->layoutConstraintItem();
    if (!fromItem) return;
    auto relation = layoutRelation(relation_);
    for (auto a : fromAttributes) {
        NSLayoutAttribute b = a;
        if (from_->attributes() != to_->attributes() && !toAttributes.empty()) b = toAttributes.front();
        double constant = constant_.constraintConstantTargetValue(b);
        platform::ObjectPtr toItem = to_->target();
        if (!toItem && b != NSLayoutAttribute::width && b != NSLayoutAttribute::height) toItem = fromItem->superview();
        auto lc = LayoutConstraint::constraintWithItem(fromItem->object(), a, relation, toItem, b,
                                                       multiplier_.constraintMultiplierTargetValue(), constant);
        lc->setLabel(label_);
        lc->setPriority(priority_.constraintPriorityTargetValue());
        lc->setConstraint(shared_from_this());
        layoutConstraints_.push_back(lc);
    }
}

std::vector<platform::NSLayoutConstraintPtr> Constraint::platformConstraints() const {
    return {layoutConstraints_.begin(), layoutConstraints_.end()};
}

bool Constraint::isActive() const {
    for (const auto& lc : layoutConstraints_)
        if (lc->isActive()) return true;
    return false;
}

void Constraint::setActive(bool active) {
    if (active) activateIfNeeded(false);
    else deactivateIfNeeded();
}

Constraint& Constraint::updateOffset(const ConstraintOffsetTarget& offset) {
    constant_ = ConstraintConstantTarget(offset.constraintOffsetTargetValue());
    updateConstantAndPriorityIfNeeded();
    return *this;
}

Constraint& Constraint::updateInset(const ConstraintInsetTarget& inset) {
    constant_ = ConstraintConstantTarget(inset.constraintInsetTargetValue());
    updateConstantAndPriorityIfNeeded();
    return *this;
}

Constraint& Constraint::updatePriority(const ConstraintPriorityTarget& priority) {
    priority_ = ConstraintPriorityTarget(priority.constraintPriorityTargetValue());
    updateConstantAndPriorityIfNeeded();
    return *this;
}

void Constraint::updateConstantAndPriorityIfNeeded() {
    for (const auto& lc : layoutConstraints_) {
        lc->setConstant(constant_.constraintConstantTargetValue(attributeOfReference(*lc)));
        // Required constraints keep their priority, and none is raised to required here:
        // the platform cannot switch a constraint between required and optional once active.
        if (lc->priority() < 1000) {
            float p = priority_.constraintPriorityTargetValue();
            if (p != 1000) lc->setPriority(p);
        }
    }
}

void Constraint::activateIfNeeded(bool updatingExisting) {
    auto item = from_->layoutConstraintItem();
    if (!item) {
        printLine("WARNING: Clasp failed to get from item from constraint. Activate will be a no-op.");
        return;
    }
    if (!updatingExisting) {
        platform::NSLayoutConstraint::activateConstraints(platformConstraints());
        item->add({shared_from_this()});
        return;
    }
    std::vector<LayoutConstraintPtr> existing;
    for (const auto& installed : item->constraints())
        existing.insert(existing.end(), installed->layoutConstraints().begin(), installed->layoutConstraints().end());
    for (const auto& wanted : layoutConstraints_) {
        LayoutConstraintPtr match;
        for (const auto& e : existing)
            if (matches(*e, *wanted)) {
                match = e;
                break;
            }
        if (!match)
            platform::fatal("Updated constraint could not find existing matching constraint to update: " +
                            wanted->description());
        match->setConstant(constant_.constraintConstantTargetValue(attributeOfReference(*match)));
    }
}

void Constraint::deactivateIfNeeded() {
    auto item = from_->layoutConstraintItem();
    if (!item) {
        printLine("WARNING: Clasp failed to get from item from constraint. Deactivate will be a no-op.");
        return;
    }
    platform::NSLayoutConstraint::deactivateConstraints(platformConstraints());
    item->remove({shared_from_this()});
}

}  // namespace Clasp
