// The JavaScript bridge module: web-view preparation and page messages.
#include "LumenAnalyticsSDK/Core/JSBridge/LAJavaScriptBridgeManager.h"

#include <exception>

#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+LASwizzle.h"
#include "LumenAnalyticsSDK/Core/JSBridge/LAJavaScriptBridgeBuilder.h"
#include "LumenAnalyticsSDK/Core/JSBridge/WKWebView+LABridge.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/files/NotificationCenter.h"
#include "platform/webkit/WKWebView.h"

namespace LumenAnalyticsSDK {

using platform::Value;

const std::shared_ptr<LAJavaScriptBridgeManager>& LAJavaScriptBridgeManager::defaultManager() {
    static const auto* instance =
        new std::shared_ptr<LAJavaScriptBridgeManager>(std::make_shared<LAJavaScriptBridgeManager>());
    return *instance;
}

void LAJavaScriptBridgeManager::registerMethods(platform::Class& cls) {
    cls.addClassMethod("defaultManager", [](platform::Class&) { return defaultManager(); });
}

void LAJavaScriptBridgeManager::setEnable(bool enable) {
    enable_.store(enable);
    if (enable) swizzleWebViewMethod();
}

std::shared_ptr<LAConfigOptions> LAJavaScriptBridgeManager::configOptions() const { return configOptions_.get(); }

void LAJavaScriptBridgeManager::setConfigOptions(std::shared_ptr<LAConfigOptions> configOptions) {
    bool enable = configOptions && configOptions->enableJavaScriptBridge();
    configOptions_.set(std::move(configOptions));
    setEnable(enable);
}

void LAJavaScriptBridgeManager::swizzleWebViewMethod() {
    static std::once_flag once;
    std::call_once(once, [] {
        lumen_installWebViewBridgeMethods();
        platform::ErrorPtr error;  // one slot: a later failure's error stands
        for (const auto& pair : kLAWebViewLoadSelectors)
            la_swizzleMethod(platform::WKWebView::classObject(), pair.original, pair.bridge, &error);
        if (error) LALogError("Failed to swizzle on WKWebView. Details: " + error->localizedDescription());
    });
}

std::optional<std::string> LAJavaScriptBridgeManager::javaScriptSource() {
    auto options = configOptions();
    if (!options || !options->enableJavaScriptBridge()) return std::nullopt;
    auto serverURL = options->serverURL();  // empty when the options have none
    if (serverURL.empty()) {
        LALogError(description() + " get network serverURL is failed!");
        return std::nullopt;
    }
    return LAJavaScriptBridgeBuilder::buildJSBridgeWithServerURL(serverURL);
}

void LAJavaScriptBridgeManager::addScriptMessageHandlerWithWebView(const platform::ObjectPtr& webView) {
    try {
        if (auto view = std::dynamic_pointer_cast<platform::WKWebView>(webView)) prepareWebView(view);
    } catch (const std::exception& exception) {
        LALogError(description() + " error: " + exception.what());
    }
}

void LAJavaScriptBridgeManager::prepareWebView(const std::shared_ptr<platform::WKWebView>& webView) {
    auto controller = webView->configuration()->userContentController();
    // Replacing the handler keeps exactly one, however often the view loads.
    controller->removeScriptMessageHandlerForName(kLAJSBridgeMessageHandlerName);
    controller->addScriptMessageHandler(std::static_pointer_cast<LAJavaScriptBridgeManager>(shared_from_this()),
                                        kLAJSBridgeMessageHandlerName);

    auto source = LAModuleManager::sharedInstance()->javaScriptSource();
    if (source.empty()) return;
    for (auto& script : controller->userScripts()) {
        const auto& text = script->source();
        if (text.find(kLAJSBridgeServerURLMark) != std::string::npos ||
            text.find(kLAJSBridgeVisualizedModeMark) != std::string::npos)
            return;  // the pages are prepared already
    }
    controller->addUserScript(
        platform::WKUserScript::create(source, platform::WKUserScriptInjectionTime::atDocumentStart, false));
    if (source.find(kLAJSBridgeServerURLMark) != std::string::npos)
        platform::NotificationCenter::defaultCenter()->post(kLARegisterJavaScriptBridgeNotification, webView);
}

void LAJavaScriptBridgeManager::userContentController(const std::shared_ptr<platform::WKUserContentController>&,
                                                      const std::shared_ptr<platform::WKScriptMessage>& message) {
    try {
        handleMessage(message);
    } catch (const std::exception& exception) {
        LALogError(description() + " error: " + exception.what());
    }
}

void LAJavaScriptBridgeManager::handleMessage(const std::shared_ptr<platform::WKScriptMessage>& message) {
    if (!message || message->name() != kLAJSBridgeMessageHandlerName) return;
    auto body = message->body().asString();
    if (!body) {
        LALogError("Message body is not kind of 'NSString' from JS SDK");
        return;
    }
    // A string's UTF-8 bytes always exist here; the parse below rejects what is not JSON.
    auto parsed = LAJSONUtil::JSONObjectWithString(*body);
    if (!parsed || !parsed->isDictionary()) {
        LALogError("Message body is formatted failure from JS SDK");
        return;
    }
    auto callType = (*parsed)["callType"].stringValue();
    if (callType == "app_h5_track") {
        if (!(*parsed)["data"].isDictionary()) {
            LALogError("Data of message body is not kind of 'NSDictionary' from JS SDK");
            return;
        }
        // Nothing happens while the client is switched off: there is no shared instance.
        if (auto sdk = LumenAnalyticsSDK::sharedInstance())
            sdk->trackFromH5WithEvent(LAJSONUtil::stringWithJSONObject((*parsed)["data"]));
    } else if (callType == "visualized_track" || callType == "app_alert" || callType == "page_info") {
        platform::NotificationCenter::defaultCenter()->post(kLAVisualizedMessageFromH5Notification, message);
    } else if (callType == "abtest") {
        platform::NotificationCenter::defaultCenter()->post(kLAMessageFromH5Notification, message);
    }
}

}  // namespace LumenAnalyticsSDK
