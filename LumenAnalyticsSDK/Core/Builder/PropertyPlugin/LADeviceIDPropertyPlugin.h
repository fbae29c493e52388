// "$device_id", or its Base64 form as "$anonymization_id" when the device id is not to be sent.
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

class LADeviceIDPropertyPlugin : public LAPropertyPlugin {
    PLATFORM_OBJECT(LADeviceIDPropertyPlugin, LAPropertyPlugin)
public:
    std::uint64_t priority() const override { return LAPropertyPluginPrioritySuper; }
    bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const override {
        return LAIsTrackKind(filter.typeBits());
    }
    bool respondsToPrepare() const override { return true; }
    void prepare() override;

    bool disableDeviceId() const { return disableDeviceId_; }
    void setDisableDeviceId(bool disable) { disableDeviceId_ = disable; }

private:
    bool disableDeviceId_ = false;
};

}  // namespace LumenAnalyticsSDK
