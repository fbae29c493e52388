// "$event_session_id" for every track-kind event, from the session rule.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/LASessionProperty.h"

namespace LumenAnalyticsSDK {

class LASessionPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LASessionPropertyPlugin, LAPropertyPlugin)
public:
    // None for a missing session property.
    static std::shared_ptr<LASessionPropertyPlugin> create(const std::shared_ptr<LASessionProperty>& sessionProperty);
    explicit LASessionPropertyPlugin(std::weak_ptr<LASessionProperty> sessionProperty)
        : sessionProperty_(std::move(sessionProperty)) {}

    std::uint64_t priority() const override { return LAPropertyPluginPrioritySuper; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits());
    }
    // None outside an event, so reading current properties changes no session.
    std::optional<platform::Value::Dictionary> properties() override;

private:
    std::weak_ptr<LASessionProperty> sessionProperty_;
};

}  // namespace LumenAnalyticsSDK
