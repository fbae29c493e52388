// The bridge's load operations of the web view.
#include "LumenAnalyticsSDK/Core/JSBridge/WKWebView+LABridge.h"

#include <mutex>

#include "LumenAnalyticsSDK/Core/JSBridge/LAJavaScriptBridgeManager.h"
#include "platform/webkit/WKWebView.h"

namespace LumenAnalyticsSDK {

void lumen_installWebViewBridgeMethods() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto webViewClass = platform::WKWebView::classObject();
        for (const auto& pair : kLAWebViewLoadSelectors) {
            auto original = webViewClass->instanceMethod(pair.original);
            platform::Selector bridge(pair.bridge);
            // After the exchange, sending the bridge's own selector runs the view's load.
            webViewClass->addMethod(
                bridge,
                [bridge](platform::Object& self, const platform::Arguments& arguments) {
                    LAJavaScriptBridgeManager::defaultManager()->addScriptMessageHandlerWithWebView(
                        self.shared_from_this());
                    return self.perform(bridge, arguments);
                },
                original ? original->typeEncoding() : "@@:");
        }
    });
}

}  // namespace LumenAnalyticsSDK
