// A view-controller stack: one child shown at a time inside the controller's own view,
// pushed and popped with or without an animation (a horizontal slide by default), and a
// way for every controller on the stack to find its navigation controller.
#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "platform/appkit/NSViewController.h"

namespace Cobbleton {

class MacNavigationController;
using MacNavigationControllerPtr = std::shared_ptr<MacNavigationController>;

// Shows a pushed or uncovered controller; when done it must take the leaving
// controller's view out of its superview and the controller out of its parent.
class MacNavigationAnimateProtocol {
public:
    virtual ~MacNavigationAnimateProtocol() = default;
    virtual void push(const platform::NSViewControllerPtr& controller, const platform::NSViewControllerPtr& from,
                      MacNavigationController& navigation) = 0;
    virtual void pop(const platform::NSViewControllerPtr& controller, const platform::NSViewControllerPtr& to,
                     MacNavigationController& navigation) = 0;
};
using MacNavigationAnimatePtr = std::shared_ptr<MacNavigationAnimateProtocol>;

// Slides over 0.5 s: a push brings the new view in from the right while the old one
// leaves to the left; a pop the other way round.
class DefaultNavigationAnimate : public platform::Object, public MacNavigationAnimateProtocol {
    PLATFORM_OBJECT_NAMED(DefaultNavigationAnimate, platform::Object, "Cobbleton.DefaultNavigationAnimate")
public:
    void push(const platform::NSViewControllerPtr& controller, const platform::NSViewControllerPtr& from,
              MacNavigationController& navigation) override;
    void pop(const platform::NSViewControllerPtr& controller, const platform::NSViewControllerPtr& to,
             MacNavigationController& navigation) override;
};

class MacNavigationController : public platform::NSViewController {
    PLATFORM_OBJECT_NAMED(MacNavigationController, platform::NSViewController, "Cobbleton.MacNavigationController")
    struct Key {
        explicit Key() = default;
    };

public:
    // Only `create` can make one (the key is private): setting up needs the controller's
    // own shared pointer, and the root must be pushed before anything reads the stack.
    MacNavigationController(Key, platform::NSViewControllerPtr rootViewController);
    // The root is pushed without animation; a given animator then replaces the default.
    static MacNavigationControllerPtr create(const platform::NSViewControllerPtr& rootViewController,
                                             const MacNavigationAnimatePtr& animate = nullptr);
    MacNavigationControllerPtr self() { return std::static_pointer_cast<MacNavigationController>(shared_from_this()); }

    const std::vector<platform::NSViewControllerPtr>& controllers() const { return controllers_; }
    const platform::NSViewControllerPtr& topViewController() const { return topViewController_; }
    const platform::NSViewControllerPtr& rootViewController() const { return rootViewController_; }
    const MacNavigationAnimatePtr& defaultAnimate() const { return defaultAnimate_; }
    void setDefaultAnimate(const MacNavigationAnimatePtr& animate) { defaultAnimate_ = animate; }

    void loadView() override;

    // `animate` overrides the default animator for this one call. Pushing a controller
    // already on the stack stops the program.
    virtual void pushViewController(const platform::NSViewControllerPtr& controller, bool animated,
                                    const MacNavigationAnimatePtr& animate = nullptr);
    // The removed controller; none when only the root is left.
    virtual platform::NSViewControllerPtr popViewController(bool animated,
                                                            const MacNavigationAnimatePtr& animate = nullptr);
    // The removed controllers, bottom first; none when `controller` is not on the stack
    // or already on top.
    virtual std::optional<std::vector<platform::NSViewControllerPtr>>
    popToViewController(const platform::NSViewControllerPtr& controller, bool animated,
                        const MacNavigationAnimatePtr& animate = nullptr);
    virtual std::optional<std::vector<platform::NSViewControllerPtr>>
    popToRootViewController(bool animated, const MacNavigationAnimatePtr& animate = nullptr);
    // Puts `controller`'s view into this controller's view at its full size.
    virtual void addChildView(const platform::NSViewControllerPtr& controller);

private:
    // Shows `to` in place of the top, then forgets everything above `to`.
    std::vector<platform::NSViewControllerPtr> popTo(std::size_t index, bool animated,
                                                     const MacNavigationAnimatePtr& animate);

    std::vector<platform::NSViewControllerPtr> controllers_;
    platform::NSViewControllerPtr topViewController_;
    platform::NSViewControllerPtr rootViewController_;
    MacNavigationAnimatePtr defaultAnimate_;
};

// The navigation controller a controller is on; none once that controller is gone.
MacNavigationControllerPtr navigationController(const platform::NSViewController& controller);
void setNavigationController(platform::NSViewController& controller, const MacNavigationControllerPtr& navigation);

}  // namespace Cobbleton
