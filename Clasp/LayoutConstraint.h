// The platform constraint the language makes: a layout constraint with a weak link back
// to the language's constraint that made it, and a description that names views by
// their labels and tells where the constraint was written.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/appkit/NSLayoutConstraint.h"

namespace Clasp {

class Constraint;

class LayoutConstraint : public platform::NSLayoutConstraint {
    PLATFORM_OBJECT(LayoutConstraint, platform::NSLayoutConstraint)
public:
    using NSLayoutConstraint::NSLayoutConstraint;
    static std::shared_ptr<LayoutConstraint>
    constraintWithItem(const platform::ObjectPtr& item1, platform::NSLayoutAttribute attribute1,
                       platform::NSLayoutRelation relation, const platform::ObjectPtr& item2,
                       platform::NSLayoutAttribute attribute2, double multiplier, double constant);

    std::shared_ptr<Constraint> constraint() const { return constraint_.lock(); }
    void setConstraint(const std::shared_ptr<Constraint>& c) { constraint_ = c; }
    // The platform identifier; an absent label clears it.
    std::optional<std::string> label() const;
    void setLabel(const std::optional<std::string>& label) { setIdentifier(label.value_or(std::string())); }

    // "<LayoutConstraint:0x…@File#42 NSView:box.width == 100.0>" (see the .cpp).
    std::string description() const override;

private:
    std::weak_ptr<Constraint> constraint_;
};
using LayoutConstraintPtr = std::shared_ptr<LayoutConstraint>;

// "ClassName:" and the view's label, the constraint's identifier or the address; for a
// constraint whose maker is alive, "@" and the source file's last component and "#line".
std::string descriptionForObject(const platform::Object& object);

}  // namespace Clasp
