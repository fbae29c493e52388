// The library block of native and web-page events.
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAEventLibObject.h"

#include "LumenAnalyticsSDK/Core/LAConstants.h"
#include "platform/base/NoDestructor.h"
#include "platform/files/Bundle.h"

namespace LumenAnalyticsSDK {

namespace {

// The main bundle's short version string, read once: it does not change while we run.
const platform::Value& appShortVersion() {
    // Never destroyed: events may still be built on the client's queue while the process exits.
    static const platform::NoDestructor<platform::Value> version([] {
        const auto info = platform::Bundle::main()->infoDictionary();
        if (!info) return platform::Value();
        const auto found = info->find("CFBundleShortVersionString");
        return found == info->end() ? platform::Value() : found->second;
    }());
    return *version;
}

std::optional<std::string> textOf(const platform::Value::Dictionary& dictionary, const char* key) {
    const auto found = dictionary.find(key);
    if (found == dictionary.end() || !found->second.isString()) return std::nullopt;
    return *found->second.asString();
}

void setIfPresent(platform::Value::Dictionary& json, const char* key, const std::optional<std::string>& text) {
    if (text) json[key] = *text;
}

}  // namespace

LAEventLibObject::LAEventLibObject()
    : lib_(LALibName), method_("code"), version_(LALibVersion), appVersion_(appShortVersion()) {}

LAEventLibObject::LAEventLibObject(const platform::Value::Dictionary& h5Lib)
    : lib_(textOf(h5Lib, "$lib")), method_(textOf(h5Lib, "$lib_method")), version_(textOf(h5Lib, "$lib_version")),
      appVersion_(appShortVersion()) {}

void LAEventLibObject::setMethod(const std::string& method) {
    if (!method.empty()) method_ = method;
}

platform::Value::Dictionary LAEventLibObject::jsonObject() const {
    platform::Value::Dictionary json;
    setIfPresent(json, "$lib", lib_);
    setIfPresent(json, "$lib_version", version_);
    if (!appVersion_.isNull()) json["$app_version"] = appVersion_;
    setIfPresent(json, "$lib_method", method_);
    setIfPresent(json, "$lib_detail", detail_);
    return json;
}

}  // namespace LumenAnalyticsSDK
