// One constraint written in the language: an attribute set of a view related to another
// item, times a multiplier, plus a constant, at a priority. It expands at creation into
// one platform constraint per platform attribute and from then on activates,
// deactivates and updates them as a group.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Clasp/ConstraintConstantTarget.h"
#include "Clasp/ConstraintInsetTarget.h"
#include "Clasp/ConstraintItem.h"
#include "Clasp/ConstraintMultiplierTarget.h"
#include "Clasp/ConstraintOffsetTarget.h"
#include "Clasp/ConstraintPriorityTarget.h"
#include "Clasp/ConstraintRelation.h"
#include "Clasp/LayoutConstraint.h"

namespace Clasp {

// Where a relation was written, for messages and descriptions.
struct ConstraintSourceLocation {
    std::string file;
    unsigned line = 0;
};

class Constraint : public std::enable_shared_from_this<Constraint> {
    struct Key {
        explicit Key() = default;
    };

public:
    // Builds the platform constraints without activating them.
    static ConstraintPtr create(ConstraintItemPtr from, ConstraintItemPtr to, ConstraintRelation relation,
                                ConstraintSourceLocation sourceLocation, std::optional<std::string> label,
                                ConstraintMultiplierTarget multiplier, ConstraintConstantTarget constant,
                                ConstraintPriorityTarget priority);
    Constraint(Key, ConstraintItemPtr from, ConstraintItemPtr to, ConstraintRelation relation,
               ConstraintSourceLocation sourceLocation, std::optional<std::string> label,
               ConstraintMultiplierTarget multiplier, ConstraintConstantTarget constant,
               ConstraintPriorityTarget priority);

    const ConstraintSourceLocation& sourceLocation() const { return sourceLocation_; }
    const std::optional<std::string>& label() const { return label_; }
    const ConstraintItemPtr& from() const { return from_; }
    const ConstraintItemPtr& to() const { return to_; }
    ConstraintRelation relation() const { return relation_; }
    const ConstraintMultiplierTarget& multiplier() const { return multiplier_; }
    const ConstraintConstantTarget& constant() const { return constant_; }
    const ConstraintPriorityTarget& priority() const { return priority_; }
    std::vector<LayoutConstraintPtr>& layoutConstraints() { return layoutConstraints_; }
    const std::vector<LayoutConstraintPtr>& layoutConstraints() const { return layoutConstraints_; }

    void activate() { activateIfNeeded(false); }
    void install() { activate(); }
    void deactivate() { deactivateIfNeeded(); }
    void uninstall() { deactivate(); }
    // True when at least one platform constraint is active.
    bool isActive() const;
    void setActive(bool active);

    // Each replaces the constant or priority and re-applies it to the platform
    // constraints; the result may be ignored.
    Constraint& updateOffset(const ConstraintOffsetTarget& offset);
    Constraint& updateInset(const ConstraintInsetTarget& inset);
    Constraint& updateInsets(const ConstraintInsetTarget& inset) { return updateInset(inset); }
    Constraint& updatePriority(const ConstraintPriorityTarget& priority);

    // Not updating: activates all platform constraints and joins the from item's set.
    // Updating: gives each matching installed platform constraint this one's constant.
    void activateIfNeeded(bool updatingExisting);
    void deactivateIfNeeded();

private:
    void build();
    void updateConstantAndPriorityIfNeeded();
    std::vector<platform::NSLayoutConstraintPtr> platformConstraints() const;

    ConstraintSourceLocation sourceLocation_;
    std::optional<std::string> label_;
    ConstraintItemPtr from_;
    ConstraintItemPtr to_;
    ConstraintRelation relation_;
    ConstraintMultiplierTarget multiplier_;
    ConstraintConstantTarget constant_;
    ConstraintPriorityTarget priority_;
    std::vector<LayoutConstraintPtr> layoutConstraints_;
};

}  // namespace Clasp
