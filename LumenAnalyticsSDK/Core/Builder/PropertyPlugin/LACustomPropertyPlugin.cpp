// Validates the caller's properties and marks how a native event was tracked.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LACustomPropertyPlugin.h"

#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LACustomPropertyPlugin);

LACustomPropertyPlugin::LACustomPropertyPlugin(const platform::Value& customProperties) {
    if (LAValidator::isValidDictionary(customProperties)) originalProperties_ = *customProperties.asDictionary();
}

std::optional<platform::Value::Dictionary> LACustomPropertyPlugin::properties() {
    std::optional<platform::Value::Dictionary> properties;
    if (originalProperties_) properties = LAPropertyValidator::validProperties(platform::Value(*originalProperties_));
    const auto* event = filter();
    if (!event || event->typeBits() >= 16 || event->hybridH5()) return properties;

    if (!properties) properties.emplace();
    platform::Value method = properties->contains("$lib_method") ? (*properties)["$lib_method"] : platform::Value();
    const auto* lib = event->libFilter();
    if (lib && lib->method() == "autoTrack") {
        method = "autoTrack";
    } else if (method.isNull() ||
               (method.isString() && *method.asString() != "code" && *method.asString() != "autoTrack")) {
        method = "code";
    }
    (*properties)["$lib_method"] = method;
    return properties;
}

}  // namespace LumenAnalyticsSDK
