// Loading and showing a controller's window.
#include "platform/appkit/NSWindowController.h"

#include "platform/appkit/NSViewController.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSWindowController);

std::shared_ptr<NSWindow> NSWindowController::window() {
    if (!loaded_) {
        loaded_ = true;
        auto keep = shared_from_this();
        windowWillLoad();
        loadWindow();
        if (window_) window_->setWindowController(std::static_pointer_cast<NSWindowController>(keep));
        windowDidLoad();
    }
    return window_;
}

void NSWindowController::setWindow(const std::shared_ptr<NSWindow>& window) {
    window_ = window;
    if (window_) window_->setWindowController(std::static_pointer_cast<NSWindowController>(shared_from_this()));
}

void NSWindowController::showWindow(const ObjectPtr& sender) {
    if (auto w = window()) w->makeKeyAndOrderFront(sender);
}

void NSWindowController::close() {
    if (window_) window_->close();
}

std::shared_ptr<NSViewController> NSWindowController::contentViewController() const {
    return window_ ? window_->contentViewController() : nullptr;
}

void NSWindowController::setContentViewController(const std::shared_ptr<NSViewController>& vc) {
    if (auto w = window()) w->setContentViewController(vc);
}

}  // namespace platform
