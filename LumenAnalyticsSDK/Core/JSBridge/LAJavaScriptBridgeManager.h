// The JavaScript bridge module: lets pages shown in web views send their events to the
// client. Once enabled it hooks the web views' load operations so that every view is
// prepared before it loads (a message handler "lumenNativeTracker" and, when there is a
// server URL, a script that tells the page's analytics script where the server is), and
// it receives the pages' messages.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/LAModuleProtocol.h"
#include "platform/base/Protected.h"
#include "platform/runtime/Class.h"
#include "platform/webkit/WKUserContentController.h"

namespace LumenAnalyticsSDK {

inline constexpr const char* kLAJSBridgeMessageHandlerName = "lumenNativeTracker";
inline constexpr const char* kLARegisterJavaScriptBridgeNotification =
    "LumenAnalyticsRegisterJavaScriptBridgeNotification";
inline constexpr const char* kLAVisualizedMessageFromH5Notification =
    "LumenAnalyticsVisualizedMessageFromH5Notification";
inline constexpr const char* kLAMessageFromH5Notification = "LumenAnalyticsMessageFromH5Notification";

class LAJavaScriptBridgeManager final : public platform::Object,
                                        public LAModuleProtocol,
                                        public LAJavaScriptBridgeModuleProtocol,
                                        public platform::WKScriptMessageHandler {
    PLATFORM_OBJECT(LAJavaScriptBridgeManager, platform::Object)
public:
    // The shared module, also answered to the class message "defaultManager".
    static const std::shared_ptr<LAJavaScriptBridgeManager>& defaultManager();

    bool isEnable() const override { return enable_.load(); }
    // Enabling installs the web-view hooks (once per process); disabling leaves them.
    void setEnable(bool enable) override;
    std::shared_ptr<LAConfigOptions> configOptions() const override;
    // Stores the options, then enables the module exactly when they ask for the bridge.
    void setConfigOptions(std::shared_ptr<LAConfigOptions> configOptions) override;

    // The bridge script for the options' server URL; none when the bridge option is off
    // or there is no server URL (which is logged).
    std::optional<std::string> javaScriptSource() override;

    // Gives a web view the message handler and, when the pages need it and do not have it
    // yet, the bridge script. Anything but a web view is ignored.
    void addScriptMessageHandlerWithWebView(const platform::ObjectPtr& webView);
    // A page's message: "app_h5_track" carries an event, the visual and test messages are
    // passed on as notifications; anything malformed is logged and dropped.
    void userContentController(const std::shared_ptr<platform::WKUserContentController>& userContentController,
                               const std::shared_ptr<platform::WKScriptMessage>& message) override;

    // Exchanges the web view's four load operations with the bridge's (once per process).
    static void swizzleWebViewMethod();
    static void registerMethods(platform::Class& cls);

private:
    void prepareWebView(const std::shared_ptr<platform::WKWebView>& webView);
    void handleMessage(const std::shared_ptr<platform::WKScriptMessage>& message);

    std::atomic<bool> enable_{false};
    platform::Protected<std::shared_ptr<LAConfigOptions>> configOptions_;
};

}  // namespace LumenAnalyticsSDK
