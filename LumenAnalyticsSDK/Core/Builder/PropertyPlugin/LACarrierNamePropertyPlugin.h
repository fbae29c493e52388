// "$carrier": the mobile carrier, as the host registered it (this platform has no carrier).
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LACarrierNamePropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LACarrierNamePropertyPlugin, LAPropertyPlugin)
public:
    std::uint64_t priority() const override { return LAPropertyPluginPriorityLow; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits());
    }
    std::optional<platform::Value::Dictionary> properties() override;
    void setCarrierName(std::optional<std::string> name) { carrierName_ = std::move(name); }

private:
    std::optional<std::string> carrierName_;
};

}  // namespace LumenAnalyticsSDK
