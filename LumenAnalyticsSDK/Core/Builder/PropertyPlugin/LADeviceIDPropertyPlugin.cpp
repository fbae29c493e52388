// The device id, read once when the plugin is registered.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LADeviceIDPropertyPlugin.h"

#include "LumenAnalyticsSDK/Core/LAIdentifier.h"
#include "platform/base/Data.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LADeviceIDPropertyPlugin);

void LADeviceIDPropertyPlugin::prepare() {
    auto id = LAIdentifier::hardwareID();
    if (!disableDeviceId_) {
        readyWithProperties({{"$device_id", id}});
        return;
    }
    readyWithProperties({{"$anonymization_id", platform::Data(id.data(), id.size()).base64EncodedString()}});
}

}  // namespace LumenAnalyticsSDK
