// "event_duration": how long the event's timer ran, for timed events.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LATrackTimer;

class LAEventDurationPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LAEventDurationPropertyPlugin, LAPropertyPlugin)
public:
    // None for a missing timer.
    static std::shared_ptr<LAEventDurationPropertyPlugin> create(const std::shared_ptr<LATrackTimer>& trackTimer);
    explicit LAEventDurationPropertyPlugin(std::weak_ptr<LATrackTimer> trackTimer)
        : trackTimer_(std::move(trackTimer)) {}

    std::uint64_t priority() const override { return LAPropertyPluginPriorityLow; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits()) && !filter.hybridH5();
    }
    std::optional<platform::Value::Dictionary> properties() override;

private:
    std::weak_ptr<LATrackTimer> trackTimer_;
};

}  // namespace LumenAnalyticsSDK
