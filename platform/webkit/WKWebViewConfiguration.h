// What a web view is made with; here only its user content controller, which is the
// part pages and the embedding program share.
#pragma once
#include <memory>

#include "platform/webkit/WKUserContentController.h"

namespace platform {

class WKWebViewConfiguration final : public Object {
    PLATFORM_OBJECT(WKWebViewConfiguration, Object)
public:
    static std::shared_ptr<WKWebViewConfiguration> create() { return std::make_shared<WKWebViewConfiguration>(); }

    const std::shared_ptr<WKUserContentController>& userContentController() const { return userContentController_; }
    void setUserContentController(std::shared_ptr<WKUserContentController> controller) {
        if (controller) userContentController_ = std::move(controller);
    }

private:
    std::shared_ptr<WKUserContentController> userContentController_ = WKUserContentController::create();
};

}  // namespace platform
