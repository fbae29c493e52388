// "$network_type" and "$wifi": how the machine is connected, as the collector counts it.
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LANetworkInfoPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LANetworkInfoPropertyPlugin, LAPropertyPlugin)
public:
    std::uint64_t priority() const override { return LAPropertyPluginPriorityLow; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits());
    }
    std::optional<platform::Value::Dictionary> properties() override;

    // "WIFI" when reachable without a cellular link (every reachable route here), else "NULL".
    std::string networkTypeString() const;
    // The flush-network-policy bit of the current connection: 8 for "WIFI", else 0.
    std::uint64_t currentNetworkTypeOptions() const;
};

}  // namespace LumenAnalyticsSDK
