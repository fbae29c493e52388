// Layout constraints between views and layout guides: firstItem.attribute (relation)
// secondItem.attribute * multiplier + constant, at a priority. Active constraints are
// held by the nearest common ancestor view and solved into frames on layout.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace platform {

class NSView;

enum class NSLayoutAttribute : int {
    notAnAttribute = 0,
    left = 1,
    right = 2,
    top = 3,
    bottom = 4,
    leading = 5,
    trailing = 6,
    width = 7,
    height = 8,
    centerX = 9,
    centerY = 10,
    lastBaseline = 11,
    firstBaseline = 12,
};
enum class NSLayoutRelation : int { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };
enum class NSLayoutConstraintOrientation : int { horizontal = 0, vertical = 1 };

using NSLayoutPriority = float;
inline constexpr NSLayoutPriority NSLayoutPriorityRequired = 1000;
inline constexpr NSLayoutPriority NSLayoutPriorityDefaultHigh = 750;
inline constexpr NSLayoutPriority NSLayoutPriorityDragThatCanResizeWindow = 510;
inline constexpr NSLayoutPriority NSLayoutPriorityWindowSizeStayPut = 500;
inline constexpr NSLayoutPriority NSLayoutPriorityDefaultLow = 250;
inline constexpr NSLayoutPriority NSLayoutPriorityFittingSizeCompression = 50;

std::string layoutAttributeName(NSLayoutAttribute a);

// What can be constrained: views and layout guides.
class LayoutItem {
public:
    virtual ~LayoutItem() = default;
    // The view itself, or the view that owns the guide.
    virtual std::shared_ptr<NSView> layoutView() = 0;
    virtual bool isLayoutGuide() const { return false; }
};

class NSLayoutConstraint;
using NSLayoutConstraintPtr = std::shared_ptr<NSLayoutConstraint>;

class NSLayoutConstraint : public Object {
    PLATFORM_OBJECT(NSLayoutConstraint, Object)
public:
    NSLayoutConstraint(const ObjectPtr& firstItem, NSLayoutAttribute firstAttribute, NSLayoutRelation relation,
                       const ObjectPtr& secondItem, NSLayoutAttribute secondAttribute, double multiplier,
                       double constant);

    static NSLayoutConstraintPtr constraintWithItem(const ObjectPtr& item1, NSLayoutAttribute attribute1,
                                                    NSLayoutRelation relation, const ObjectPtr& item2,
                                                    NSLayoutAttribute attribute2, double multiplier, double constant);
    static void activateConstraints(const std::vector<NSLayoutConstraintPtr>& constraints);
    static void deactivateConstraints(const std::vector<NSLayoutConstraintPtr>& constraints);

    ObjectPtr firstItem() const { return first_.lock(); }
    ObjectPtr secondItem() const { return second_.lock(); }
    bool hasSecondItem() const { return hasSecond_; }
    NSLayoutAttribute firstAttribute() const { return firstAttribute_; }
    NSLayoutAttribute secondAttribute() const { return secondAttribute_; }
    NSLayoutRelation relation() const { return relation_; }
    double multiplier() const { return multiplier_; }

    double constant() const { return constant_; }
    void setConstant(double constant);
    NSLayoutPriority priority() const { return priority_; }
    void setPriority(NSLayoutPriority priority);
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(const std::string& identifier) { identifier_ = identifier; }

    // Activation installs the constraint on the nearest common ancestor of its items
    // (the first item's view when they share none).
    bool isActive() const;
    void setActive(bool active);

    // Changes whenever something the layout engine reads changes.
    std::uint64_t generation() const { return generation_; }
    // The view that holds the constraint while it is active.
    std::shared_ptr<NSView> owner() const { return owner_.lock(); }

    std::string description() const override;

private:
    friend class NSView;
    void touch();

    std::weak_ptr<Object> first_, second_;
    bool hasSecond_;
    NSLayoutAttribute firstAttribute_, secondAttribute_;
    NSLayoutRelation relation_;
    double multiplier_;
    double constant_;
    NSLayoutPriority priority_ = NSLayoutPriorityRequired;
    std::string identifier_;
    std::weak_ptr<NSView> owner_;
    std::uint64_t generation_ = 0;
};

// Anchors: the typed way to make constraints from a view's or guide's attributes.
class NSLayoutAnchor {
public:
    NSLayoutAnchor(const ObjectPtr& item, NSLayoutAttribute attribute) : item_(item), attribute_(attribute) {}
    NSLayoutConstraintPtr constraintEqualToAnchor(const NSLayoutAnchor& anchor, double constant = 0) const;
    NSLayoutConstraintPtr constraintGreaterThanOrEqualToAnchor(const NSLayoutAnchor& anchor, double constant = 0) const;
    NSLayoutConstraintPtr constraintLessThanOrEqualToAnchor(const NSLayoutAnchor& anchor, double constant = 0) const;
    ObjectPtr item() const { return item_.lock(); }
    NSLayoutAttribute attribute() const { return attribute_; }

protected:
    NSLayoutConstraintPtr make(NSLayoutRelation r, const NSLayoutAnchor* other, double multiplier,
                               double constant) const;
    std::weak_ptr<Object> item_;
    NSLayoutAttribute attribute_;
};

class NSLayoutDimension : public NSLayoutAnchor {
public:
    using NSLayoutAnchor::NSLayoutAnchor;
    NSLayoutConstraintPtr constraintEqualToConstant(double constant) const;
    NSLayoutConstraintPtr constraintGreaterThanOrEqualToConstant(double constant) const;
    NSLayoutConstraintPtr constraintLessThanOrEqualToConstant(double constant) const;
    NSLayoutConstraintPtr constraintEqualToAnchor(const NSLayoutDimension& anchor, double multiplier,
                                                  double constant = 0) const;
    using NSLayoutAnchor::constraintEqualToAnchor;
};

// Gives views and guides their anchors.
template <class Self>
struct LayoutAnchors {
    NSLayoutAnchor leadingAnchor() { return anchor(NSLayoutAttribute::leading); }
    NSLayoutAnchor trailingAnchor() { return anchor(NSLayoutAttribute::trailing); }
    NSLayoutAnchor leftAnchor() { return anchor(NSLayoutAttribute::left); }
    NSLayoutAnchor rightAnchor() { return anchor(NSLayoutAttribute::right); }
    NSLayoutAnchor topAnchor() { return anchor(NSLayoutAttribute::top); }
    NSLayoutAnchor bottomAnchor() { return anchor(NSLayoutAttribute::bottom); }
    NSLayoutAnchor centerXAnchor() { return anchor(NSLayoutAttribute::centerX); }
    NSLayoutAnchor centerYAnchor() { return anchor(NSLayoutAttribute::centerY); }
    NSLayoutDimension widthAnchor() { return {self(), NSLayoutAttribute::width}; }
    NSLayoutDimension heightAnchor() { return {self(), NSLayoutAttribute::height}; }

private:
    ObjectPtr self() { return static_cast<Self*>(this)->shared_from_this(); }
    NSLayoutAnchor anchor(NSLayoutAttribute a) { return {self(), a}; }
};

}  // namespace platform
