// The network type from the client's shared reachability.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LANetworkInfoPropertyPlugin.h"

#include <exception>

#include "LumenAnalyticsSDK/Core/Network/LAReachability.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LANetworkInfoPropertyPlugin);

std::string LANetworkInfoPropertyPlugin::networkTypeString() const {
    try {
        const auto& reachability = LAReachability::sharedInstance();
        if (reachability && reachability->isReachableViaWiFi()) return "WIFI";
    } catch (const std::exception& e) {
        LALogError(description() + ": " + e.what());
    }
    return "NULL";
}

std::uint64_t LANetworkInfoPropertyPlugin::currentNetworkTypeOptions() const {
    return networkTypeString() == "WIFI" ? 8 : 0;
}

std::optional<platform::Value::Dictionary> LANetworkInfoPropertyPlugin::properties() {
    auto type = networkTypeString();
    return platform::Value::Dictionary{{"$network_type", type}, {"$wifi", type == "WIFI"}};
}

}  // namespace LumenAnalyticsSDK
