// Script texts for web pages.
#include "LumenAnalyticsSDK/Core/JSBridge/LAJavaScriptBridgeBuilder.h"

#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"

namespace LumenAnalyticsSDK {

namespace {

constexpr const char* kJSBridgeObject = "window.Lumen_iOS_JS_Bridge = {};";
constexpr const char* kVisualBridgeObject = "window.Lumen_App_Visual_Bridge = {};";
constexpr const char* kVisualConfigObject = "window.Lumen_APP_New_H5_Bridge = {};";
constexpr const char* kVisualConfigSlot = "window.Lumen_APP_New_H5_Bridge.lumen_get_app_visual_config";
constexpr const char* kCallJSFunction = "window.lumen_app_call_js";

std::optional<std::string> base64JSON(const platform::Value& object) {
    auto data = LAJSONUtil::dataWithJSONObject(object);
    if (!data) return std::nullopt;
    return data->base64EncodedString();
}

}  // namespace

std::string LAJavaScriptBridgeBuilder::escapedForSingleQuotedLiteral(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') out += "\\\\";
        else if (c == '\'') out += "\\'";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '<' && i + 1 < text.size() && text[i + 1] == '/') out += "<\\";
        // U+2028 and U+2029 (E2 80 A8 / E2 80 A9) end a line inside a JavaScript string.
        else if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
                 (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else out += c;
    }
    return out;
}

std::optional<std::string>
LAJavaScriptBridgeBuilder::buildJSBridgeWithServerURL(const std::optional<std::string>& serverURL) {
    if (!serverURL || serverURL->empty()) return std::nullopt;
    std::string script = kJSBridgeObject;
    script.append(kLAJSBridgeServerURLMark)
        .append(" = '")
        .append(escapedForSingleQuotedLiteral(*serverURL))
        .append("';");
    return script;
}

std::string LAJavaScriptBridgeBuilder::buildVisualBridgeWithVisualizedMode(bool isVisualizedMode) {
    std::string script = kVisualBridgeObject;
    script.append(kLAJSBridgeVisualizedModeMark).append(" = ").append(isVisualizedMode ? "true" : "false").append(";");
    return script;
}

std::optional<std::string>
LAJavaScriptBridgeBuilder::buildVisualPropertyBridgeWithVisualConfig(const platform::Value::Dictionary& config) {
    if (config.empty()) return std::nullopt;
    auto encoded = base64JSON(platform::Value(config));
    if (!encoded) return std::nullopt;
    std::string script = kVisualConfigObject;
    script.append(kVisualConfigSlot).append(" = '").append(*encoded).append("';");
    return script;
}

std::optional<std::string>
LAJavaScriptBridgeBuilder::buildCallJSMethodStringWithType(long type,
                                                           const std::optional<platform::Value>& jsonObject) {
    auto typeText = callJSTypeStringWithType(type);
    if (!typeText) return std::nullopt;
    std::string call = kCallJSFunction;
    if (!jsonObject) return call.append("('").append(*typeText).append("')");
    auto encoded = base64JSON(*jsonObject);
    if (!encoded) return std::nullopt;
    return call.append("('").append(*typeText).append("', '").append(*encoded).append("')");
}

std::optional<std::string> LAJavaScriptBridgeBuilder::callJSTypeStringWithType(long type) {
    switch (static_cast<LAJavaScriptCallJSType>(type)) {
        case LAJavaScriptCallJSType::visualized: return "visualized";
        case LAJavaScriptCallJSType::checkJSSDK: return "lumen-check-jssdk";
        case LAJavaScriptCallJSType::updateVisualConfig: return "updateH5VisualConfig";
        case LAJavaScriptCallJSType::getVisualProperties: return "getJSVisualProperties";
    }
    return std::nullopt;
}

}  // namespace LumenAnalyticsSDK
