// Pushing and popping view controllers, and the default slide.
#include "Cobbleton/MacNavigationController.h"

#include <algorithm>
#include <functional>

#include "platform/appkit/NSAnimationContext.h"
#include "platform/base/Fatal.h"

namespace Cobbleton {

PLATFORM_REGISTER_CLASS(MacNavigationController);

using platform::NSViewControllerPtr;

namespace {

const char navigationKey = 0;

MacNavigationAnimatePtr pick(const MacNavigationAnimatePtr& given, const MacNavigationAnimatePtr& fallback) {
    return given ? given : fallback;
}

void takeOut(const NSViewControllerPtr& controller) {
    controller->view()->removeFromSuperview();
    controller->removeFromParentViewController();
}

// The shown controller's view covers the whole of the navigation controller's view.
void putInPlace(const platform::NSViewPtr& view, MacNavigationController& navigation) {
    view->setFrameSize(navigation.view()->frame().size);
    view->setFrameOrigin(navigation.view()->frame().origin);
}

// The end of a slide takes the leaving controller out, unless a push or pop made while it
// slid has put that controller on top again: then it is the one shown, and back in place,
// as the slide has moved it away.
std::function<void()> takeOutUnlessTop(const NSViewControllerPtr& leaving, MacNavigationController& navigation) {
    std::weak_ptr<MacNavigationController> weak = navigation.self();
    return [leaving, weak] {
        auto current = weak.lock();
        if (!current || current->topViewController() != leaving) takeOut(leaving);
        else putInPlace(leaving->view(), *current);
    };
}

}  // namespace

// Not retained: a controller must not keep its navigation controller alive, and reads
// none once it is gone.
MacNavigationControllerPtr navigationController(const platform::NSViewController& controller) {
    return controller.associatedObject(&navigationKey).asObject<MacNavigationController>();
}

void setNavigationController(platform::NSViewController& controller, const MacNavigationControllerPtr& navigation) {
    controller.setAssociatedObject(&navigationKey, navigation ? platform::Value(navigation) : platform::Value(),
                                   platform::AssociationPolicy::assign);
}

// ---- controller ----

MacNavigationController::MacNavigationController(Key, NSViewControllerPtr rootViewController)
    : rootViewController_(std::move(rootViewController)),
      defaultAnimate_(std::make_shared<DefaultNavigationAnimate>()) {}

MacNavigationControllerPtr MacNavigationController::create(const NSViewControllerPtr& rootViewController,
                                                           const MacNavigationAnimatePtr& animate) {
    auto navigation = std::make_shared<MacNavigationController>(Key{}, rootViewController);
    setNavigationController(*rootViewController, navigation);
    navigation->view()->setFrame(rootViewController->view()->frame());
    navigation->pushViewController(rootViewController, false, nullptr);
    if (animate) navigation->defaultAnimate_ = animate;
    return navigation;
}

void MacNavigationController::loadView() { setView(platform::NSView::create(rootViewController_->view()->frame())); }

void MacNavigationController::addChildView(const NSViewControllerPtr& controller) {
    view()->addSubview(controller->view());
    const auto& children = childViewControllers();
    if (std::find(children.begin(), children.end(), controller) == children.end()) addChildViewController(controller);
    putInPlace(controller->view(), *this);
}

void MacNavigationController::pushViewController(const NSViewControllerPtr& controller, bool animated,
                                                 const MacNavigationAnimatePtr& animate) {
    if (std::find(controllers_.begin(), controllers_.end(), controller) != controllers_.end())
        platform::fatal("MacNavigationControllerError: Pushing the same view controller instance more than once is "
                        "not supported");
    if (animated) {
        pick(animate, defaultAnimate_)->push(controller, topViewController_, *this);
    } else {
        if (topViewController_) takeOut(topViewController_);
        addChildView(controller);
    }
    controllers_.push_back(controller);
    topViewController_ = controller;
    setNavigationController(*controller, self());
}

std::vector<NSViewControllerPtr> MacNavigationController::popTo(std::size_t index, bool animated,
                                                                const MacNavigationAnimatePtr& animate) {
    NSViewControllerPtr to = controllers_[index];
    if (animated) {
        pick(animate, defaultAnimate_)->pop(topViewController_, to, *this);
    } else {
        takeOut(topViewController_);
        addChildView(to);
    }
    topViewController_ = to;
    std::vector<NSViewControllerPtr> removed(controllers_.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                                             controllers_.end());
    controllers_.resize(index + 1);
    for (const auto& c : removed) setNavigationController(*c, nullptr);
    return removed;
}

NSViewControllerPtr MacNavigationController::popViewController(bool animated, const MacNavigationAnimatePtr& animate) {
    if (controllers_.size() <= 1 || !topViewController_) return nullptr;
    return popTo(controllers_.size() - 2, animated, animate).front();
}

std::optional<std::vector<NSViewControllerPtr>>
MacNavigationController::popToViewController(const NSViewControllerPtr& controller, bool animated,
                                             const MacNavigationAnimatePtr& animate) {
    // Found from the end, as the stack holds each controller once.
    auto it = std::find(controllers_.rbegin(), controllers_.rend(), controller);
    if (it == controllers_.rend() || controller == topViewController_ || !topViewController_) return std::nullopt;
    return popTo(static_cast<std::size_t>(controllers_.rend() - it - 1), animated, animate);
}

std::optional<std::vector<NSViewControllerPtr>>
MacNavigationController::popToRootViewController(bool animated, const MacNavigationAnimatePtr& animate) {
    if (controllers_.size() <= 1 || !topViewController_) return std::nullopt;
    return popTo(0, animated, animate);
}

// ---- default slide ----

void DefaultNavigationAnimate::push(const NSViewControllerPtr& controller, const NSViewControllerPtr& from,
                                    MacNavigationController& navigation) {
    auto view = controller->view();
    navigation.addChildViewController(controller);
    if (!from) {  // nothing to slide away from
        navigation.addChildView(controller);
        return;
    }
    // Measured on the navigation view, not on the old top's view: a slide still running, or
    // one that ended under a plain push or pop, may have left that view anywhere.
    platform::CGRect f = navigation.view()->frame();
    view->setFrameOrigin({f.maxX(), f.minY()});
    view->setFrameSize(f.size);
    navigation.view()->addSubview(view);
    platform::NSAnimationContext::runAnimationGroup(
        [&](platform::NSAnimationContext& context) {
            context.setDuration(0.5);
            view->animator().setFrameOrigin(f.origin);
            from->view()->animator().setFrameOrigin({-f.maxX(), f.minY()});
        },
        takeOutUnlessTop(from, navigation));
}

void DefaultNavigationAnimate::pop(const NSViewControllerPtr& controller, const NSViewControllerPtr& to,
                                   MacNavigationController& navigation) {
    platform::CGRect f = navigation.view()->frame();
    auto view = to->view();
    view->setFrameOrigin({-f.maxX(), f.minY()});
    navigation.addChildViewController(to);
    navigation.view()->addSubview(view);
    platform::NSAnimationContext::runAnimationGroup(
        [&](platform::NSAnimationContext& context) {
            context.setDuration(0.5);
            controller->view()->animator().setFrameOrigin({f.maxX(), f.minY()});
            view->animator().setFrameOrigin(f.origin);
        },
        takeOutUnlessTop(controller, navigation));
}

}  // namespace Cobbleton
