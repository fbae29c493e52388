// "$referrer_title": the title of the screen shown before the current one.
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LAReferrerTitlePropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LAReferrerTitlePropertyPlugin, LAPropertyPlugin)
public:
    std::uint64_t priority() const override { return LAPropertyPluginPriorityLow; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits()) && !filter.hybridH5();
    }
    std::optional<platform::Value::Dictionary> properties() override;
};

}  // namespace LumenAnalyticsSDK
