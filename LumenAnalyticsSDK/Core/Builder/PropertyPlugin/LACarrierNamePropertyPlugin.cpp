// The registered carrier name wins over the plugin's own.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LACarrierNamePropertyPlugin.h"

#include "LumenAnalyticsSDK/Core/LALimitKeyManager.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LACarrierNamePropertyPlugin);

std::optional<platform::Value::Dictionary> LACarrierNamePropertyPlugin::properties() {
    auto registered = LALimitKeyManager::carrier();
    if (registered.isString() && !registered.asString()->empty())
        return platform::Value::Dictionary{{"$carrier", registered}};
    // No carrier known: no "$carrier" at all rather than an empty one.
    if (!carrierName_ || carrierName_->empty()) return platform::Value::Dictionary{};
    return platform::Value::Dictionary{{"$carrier", *carrierName_}};
}

}  // namespace LumenAnalyticsSDK
