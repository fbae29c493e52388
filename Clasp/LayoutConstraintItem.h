// What a view or layout guide offers the language: its superview (a guide's owning
// view) and the set of constraints currently installed for it, kept on the object as
// an associated object so that the set lives exactly as long as the view or guide.
#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "platform/appkit/NSLayoutGuide.h"
#include "platform/appkit/NSView.h"
#include "platform/runtime/Class.h"

namespace Clasp {

class Constraint;
using ConstraintPtr = std::shared_ptr<Constraint>;

// The installed constraints of one item, in the order they were added; it keeps them alive.
class ConstraintSet : public platform::Object {
    PLATFORM_OBJECT_NAMED(ConstraintSet, platform::Object, "Clasp.ConstraintSet")
public:
    void add(const ConstraintPtr& c);
    void remove(const ConstraintPtr& c);
    const std::vector<ConstraintPtr>& allObjects() const { return members_; }

private:
    std::vector<ConstraintPtr> members_;
};

class LayoutConstraintItem {
public:
    // A view or a layout guide; nothing for any other object or null.
    static std::optional<LayoutConstraintItem> from(const platform::ObjectPtr& object);

    const platform::ObjectPtr& object() const { return object_; }
    platform::NSViewPtr view() const { return std::dynamic_pointer_cast<platform::NSView>(object_); }
    // A view's superview, a guide's owning view; may be absent.
    platform::NSViewPtr superview() const;

    // Made empty and attached on first use; the same set afterwards.
    std::shared_ptr<ConstraintSet> constraintsSet() const;
    std::vector<ConstraintPtr> constraints() const { return constraintsSet()->allObjects(); }
    void add(const std::vector<ConstraintPtr>& constraints) const;
    void remove(const std::vector<ConstraintPtr>& constraints) const;

private:
    explicit LayoutConstraintItem(platform::ObjectPtr object) : object_(std::move(object)) {}
    platform::ObjectPtr object_;
};

}  // namespace Clasp
