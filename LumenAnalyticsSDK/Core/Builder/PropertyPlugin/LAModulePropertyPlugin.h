// The optional modules' properties for native track-kind events.
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LAModulePropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LAModulePropertyPlugin, LAPropertyPlugin)
public:
    std::uint64_t priority() const override { return LAPropertyPluginPriorityHigh; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits()) && !filter.hybridH5();
    }
    std::optional<platform::Value::Dictionary> properties() override;
};

}  // namespace LumenAnalyticsSDK
