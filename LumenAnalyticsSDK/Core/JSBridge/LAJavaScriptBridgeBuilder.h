// The texts of the scripts the client puts into web pages: the bridge that tells the
// page's own analytics script where the server is, and the calls into that script.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

// Marks by which a page's scripts show it is prepared already.
inline constexpr const char* kLAJSBridgeServerURLMark = "window.Lumen_iOS_JS_Bridge.lumen_app_server_url";
inline constexpr const char* kLAJSBridgeVisualizedModeMark = "window.Lumen_App_Visual_Bridge.lumen_visualized_mode";

enum class LAJavaScriptCallJSType : long {
    visualized = 0,
    checkJSSDK = 1,
    updateVisualConfig = 2,
    getVisualProperties = 3,
};

class LAJavaScriptBridgeBuilder {
public:
    // "window.Lumen_iOS_JS_Bridge = {};window.Lumen_iOS_JS_Bridge.lumen_app_server_url = '<url>';"
    // with the URL escaped for a single-quoted JavaScript string (so no URL can end the
    // string or the script element early); none for an empty or missing URL.
    static std::optional<std::string> buildJSBridgeWithServerURL(const std::optional<std::string>& serverURL);
    static std::string buildVisualBridgeWithVisualizedMode(bool isVisualizedMode);
    // The dictionary's JSON as Base64 in the page's visual-config slot; none for an empty
    // dictionary or one that is not JSON.
    static std::optional<std::string>
    buildVisualPropertyBridgeWithVisualConfig(const platform::Value::Dictionary& config);
    // "window.lumen_app_call_js('<type>')", or "…('<type>', '<Base64 of the object's JSON>')"
    // with an object; none for a type without a text or an object that is not JSON.
    static std::optional<std::string> buildCallJSMethodStringWithType(long type,
                                                                      const std::optional<platform::Value>& jsonObject);
    // 0 "visualized", 1 "lumen-check-jssdk", 2 "updateH5VisualConfig", 3 "getJSVisualProperties".
    static std::optional<std::string> callJSTypeStringWithType(long type);

    // The text as the content of a single-quoted JavaScript string: backslash, quote, line
    // breaks and U+2028/U+2029 escaped, and "</" written "<\/".
    static std::string escapedForSingleQuotedLiteral(const std::string& text);
};

}  // namespace LumenAnalyticsSDK
