// User-defaults back end of the client's key/value store.
#include "LumenAnalyticsSDK/Core/Utils/LAUserDefaultsStorePlugin.h"

#include "platform/files/UserDefaults.h"

namespace LumenAnalyticsSDK {

std::string LAUserDefaultsStorePlugin::plainKey(const std::string& key) const {
    std::string prefix = type();
    return key.starts_with(prefix) ? key.substr(prefix.size()) : key;
}

platform::Value LAUserDefaultsStorePlugin::objectForKey(const std::string& key) {
    return platform::UserDefaults::standard()->object(plainKey(key));
}

void LAUserDefaultsStorePlugin::setObject(const platform::Value& value, const std::string& key) {
    auto defaults = platform::UserDefaults::standard();
    defaults->set(value, plainKey(key));
    defaults->synchronize();
}

void LAUserDefaultsStorePlugin::removeObjectForKey(const std::string& key) {
    auto defaults = platform::UserDefaults::standard();
    defaults->removeObject(plainKey(key));
    defaults->synchronize();
}

std::optional<std::vector<std::string>> LAUserDefaultsStorePlugin::storeKeys() const {
    return std::vector<std::string>{
        "HasTrackInstallationWithDisableCallback", "HasTrackInstallation", "com.lumen.channeldebug.flag", "LASDKConfig",
        "LARequestRemoteConfigRandomTime",         "HasLaunchedOnce"};
}

}  // namespace LumenAnalyticsSDK
