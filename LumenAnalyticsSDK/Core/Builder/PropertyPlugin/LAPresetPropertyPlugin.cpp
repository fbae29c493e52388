// The preset properties plugin: this machine's facts plus the library version.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAPresetPropertyPlugin.h"

#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAPresetPropertyObject.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAPresetPropertyPlugin);

void LAPresetPropertyPlugin::prepare() {
    if (presetProperties_) return;
    auto properties = LAMacPresetProperty().properties();
    properties["$lib_version"] = libVersion_;
    presetProperties_ = std::move(properties);
}

std::optional<platform::Value::Dictionary> LAPresetPropertyPlugin::properties() {
    if (!presetProperties_) return std::nullopt;
    auto properties = *presetProperties_;
    const auto* event = filter();
    if (event && event->hybridH5()) {
        properties.erase("$lib");
        properties.erase("$lib_version");
    }
    return properties;
}

}  // namespace LumenAnalyticsSDK
