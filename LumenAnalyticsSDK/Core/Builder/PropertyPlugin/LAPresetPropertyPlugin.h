// Preset device and application properties, computed once when the plugin is registered.
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LAPresetPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LAPresetPropertyPlugin, LAPropertyPlugin)
public:
    explicit LAPresetPropertyPlugin(std::string libVersion) : libVersion_(std::move(libVersion)) {}
    std::uint64_t priority() const override { return LAPropertyPluginPriorityLow; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits());
    }
    bool respondsToPrepare() const override { return true; }
    void prepare() override;
    // A web-page event brings its own "$lib" and "$lib_version".
    std::optional<platform::Value::Dictionary> properties() override;

private:
    std::string libVersion_;
    std::optional<platform::Value::Dictionary> presetProperties_;
};

}  // namespace LumenAnalyticsSDK
