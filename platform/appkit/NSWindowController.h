// Window controllers: own a window, load it on first use (calling windowDidLoad) and show it.
#pragma once
#include <memory>

#include "platform/appkit/NSWindow.h"

namespace platform {

class NSWindowController : public NSResponder {
    PLATFORM_OBJECT(NSWindowController, NSResponder)
public:
    explicit NSWindowController(std::shared_ptr<NSWindow> window = nullptr) : window_(std::move(window)) {}
    static std::shared_ptr<NSWindowController> create(std::shared_ptr<NSWindow> window) {
        return std::make_shared<NSWindowController>(std::move(window));
    }

    // The window; the first read runs windowWillLoad, loadWindow and windowDidLoad.
    std::shared_ptr<NSWindow> window();
    void setWindow(const std::shared_ptr<NSWindow>& window);
    bool isWindowLoaded() const { return loaded_; }
    virtual void windowWillLoad() {}
    virtual void loadWindow() {}
    virtual void windowDidLoad() {}
    // Loads the window and makes it key and front.
    virtual void showWindow(const ObjectPtr& sender = nullptr);
    void close();
    std::shared_ptr<NSViewController> contentViewController() const;
    void setContentViewController(const std::shared_ptr<NSViewController>& vc);

private:
    std::shared_ptr<NSWindow> window_;
    bool loaded_ = false;
};

}  // namespace platform
