// "$app_version": the host application's short version string.
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LAAppVersionPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LAAppVersionPropertyPlugin, LAPropertyPlugin)
public:
    std::uint64_t priority() const override { return LAPropertyPluginPriorityLow; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits());
    }
    bool respondsToPrepare() const override { return true; }
    void prepare() override;
    std::optional<platform::Value::Dictionary> properties() override;
    const std::optional<std::string>& appVersion() const { return appVersion_; }

private:
    std::optional<std::string> appVersion_;
};

}  // namespace LumenAnalyticsSDK
