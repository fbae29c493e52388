// View controllers: a lazily loaded view, children, and transitions between children.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSView.h"

namespace platform {

class NSViewController;
using NSViewControllerPtr = std::shared_ptr<NSViewController>;

struct NSViewControllerTransitionOptionsTag {};
using NSViewControllerTransitionOptions = OptionSet<NSViewControllerTransitionOptionsTag, std::uint64_t>;
inline constexpr NSViewControllerTransitionOptions NSViewControllerTransitionNone{0};
inline constexpr NSViewControllerTransitionOptions NSViewControllerTransitionCrossfade{0x1};
inline constexpr NSViewControllerTransitionOptions NSViewControllerTransitionSlideLeft{0x40};
inline constexpr NSViewControllerTransitionOptions NSViewControllerTransitionSlideRight{0x80};

class NSViewController : public NSResponder {
    PLATFORM_OBJECT(NSViewController, NSResponder)
public:
    NSViewController() = default;
    static NSViewControllerPtr create() { return std::make_shared<NSViewController>(); }

    // Loads the view on first use (`loadView`, then `viewDidLoad`).
    NSViewPtr view();
    void setView(const NSViewPtr& view);
    bool isViewLoaded() const { return view_ != nullptr; }
    // Makes the view; the default is a plain view.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear() {}
    virtual void viewDidAppear() {}
    virtual void viewWillDisappear() {}
    virtual void viewDidDisappear() {}
    const std::string& title() const { return title_; }
    void setTitle(const std::string& t) { title_ = t; }

    const std::vector<NSViewControllerPtr>& childViewControllers() const { return children_; }
    NSViewControllerPtr parentViewController() const { return parent_.lock(); }
    void addChildViewController(const NSViewControllerPtr& child);
    void insertChildViewController(const NSViewControllerPtr& child, std::size_t index);
    void removeFromParentViewController();
    void removeChildViewControllerAtIndex(std::size_t index);

    // Swaps `from`'s view for `to`'s (both children of this controller), optionally
    // sliding or cross-fading through the animation context.
    void transitionFromViewController(const NSViewControllerPtr& from, const NSViewControllerPtr& to,
                                      NSViewControllerTransitionOptions options,
                                      std::function<void()> completion = nullptr);

    std::shared_ptr<NSResponder> nextResponder() const override;

private:
    NSViewPtr view_;
    bool loading_ = false;
    std::string title_;
    std::vector<NSViewControllerPtr> children_;
    std::weak_ptr<NSViewController> parent_;
};

}  // namespace platform
