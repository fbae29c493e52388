// View loading, the child list and transitions.
#include "platform/appkit/NSViewController.h"

#include <algorithm>

#include "platform/appkit/NSAnimationContext.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSViewController);

NSViewPtr NSViewController::view() {
    if (!view_ && !loading_) {
        loading_ = true;
        loadView();
        loading_ = false;
        if (!view_) view_ = NSView::create();
        viewDidLoad();
    }
    return view_;
}

void NSViewController::setView(const NSViewPtr& view) { view_ = view; }

void NSViewController::loadView() { setView(NSView::create()); }

std::shared_ptr<NSResponder> NSViewController::nextResponder() const {
    if (auto n = NSResponder::nextResponder()) return n;
    return view_ ? view_->superview() : nullptr;
}

void NSViewController::addChildViewController(const NSViewControllerPtr& child) {
    insertChildViewController(child, children_.size());
}

void NSViewController::insertChildViewController(const NSViewControllerPtr& child, std::size_t index) {
    if (!child || child.get() == this) return;
    if (auto p = child->parentViewController()) {
        if (p.get() == this) return;
        child->removeFromParentViewController();
    }
    children_.insert(children_.begin() + static_cast<long>(std::min(index, children_.size())), child);
    child->parent_ = std::static_pointer_cast<NSViewController>(shared_from_this());
}

void NSViewController::removeFromParentViewController() {
    auto p = parentViewController();
    if (!p) return;
    auto keep = std::static_pointer_cast<NSViewController>(shared_from_this());
    auto& siblings = p->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), keep), siblings.end());
    parent_.reset();
}

void NSViewController::removeChildViewControllerAtIndex(std::size_t index) {
    if (index < children_.size()) children_[index]->removeFromParentViewController();
}

void NSViewController::transitionFromViewController(const NSViewControllerPtr& from, const NSViewControllerPtr& to,
                                                    NSViewControllerTransitionOptions options,
                                                    std::function<void()> completion) {
    if (!from || !to) return;
    auto fromView = from->view(), toView = to->view();
    auto container = fromView->superview();
    if (!container) return;
    CGRect frame = fromView->frame();
    bool slide =
        options.contains(NSViewControllerTransitionSlideLeft) || options.contains(NSViewControllerTransitionSlideRight);
    double direction = options.contains(NSViewControllerTransitionSlideRight) ? -1 : 1;
    toView->setFrame(slide ? frame.offsetBy(direction * frame.width(), 0) : frame);
    if (options.contains(NSViewControllerTransitionCrossfade)) toView->setAlphaValue(0);
    container->addSubview(toView);
    std::weak_ptr<NSView> weakFrom = fromView;
    NSAnimationContext::runAnimationGroup(
        [&](NSAnimationContext& context) {
            context.setDuration(options == NSViewControllerTransitionNone ? 0 : 0.25);
            toView->animator().setFrame(frame);
            if (slide) fromView->animator().setFrame(frame.offsetBy(-direction * frame.width(), 0));
            if (options.contains(NSViewControllerTransitionCrossfade)) {
                toView->animator().setAlphaValue(1);
                fromView->animator().setAlphaValue(0);
            }
        },
        [weakFrom, completion] {
            if (auto v = weakFrom.lock()) {
                v->removeFromSuperview();
                v->setAlphaValue(1);
            }
            if (completion) completion();
        });
}

}  // namespace platform
