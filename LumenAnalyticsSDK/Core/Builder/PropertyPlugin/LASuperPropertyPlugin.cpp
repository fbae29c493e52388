// Registering, removing and storing the super properties.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LASuperPropertyPlugin.h"

#include <algorithm>

#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LASuperPropertyPlugin);

namespace {
std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}
}  // namespace

std::optional<platform::Value::Dictionary> LASuperPropertyPlugin::properties() { return superProperties_.get(); }

void LASuperPropertyPlugin::unarchiveSuperProperties() {
    auto stored = LAStoreManager::sharedInstance().objectForKey(storeKey);
    const auto* dictionary = stored.asDictionary();
    superProperties_.set(dictionary ? *dictionary : platform::Value::Dictionary{});
}

void LASuperPropertyPlugin::archiveSuperProperties() {
    platform::Value::Dictionary snapshot = superProperties_.get();
    LAStoreManager::sharedInstance().setObject(platform::Value(std::move(snapshot)), storeKey);
}

void LASuperPropertyPlugin::registerSuperProperties(const platform::Value::Dictionary& properties) {
    auto valid =
        LAPropertyValidator::validProperties(platform::Value(properties)).value_or(platform::Value::Dictionary{});
    unregisterSameLetterSuperProperties(valid);
    superProperties_.write([&](auto& current) {
        for (const auto& [key, value] : valid) current[key] = value;
    });
    archiveSuperProperties();
}

void LASuperPropertyPlugin::unregisterSuperProperty(const std::optional<std::string>& key) {
    if (!key) return;
    superProperties_.write([&](auto& current) { current.erase(*key); });
    archiveSuperProperties();
}

void LASuperPropertyPlugin::clearSuperProperties() {
    superProperties_.write([](auto& current) { current.clear(); });
    archiveSuperProperties();
}

void LASuperPropertyPlugin::unregisterSameLetterSuperProperties(const platform::Value::Dictionary& properties) {
    superProperties_.write([&](auto& current) {
        for (const auto& [newKey, value] : properties) {
            auto lowered = lowercased(newKey);
            for (auto it = current.begin(); it != current.end();)
                it = lowercased(it->first) == lowered ? current.erase(it) : std::next(it);
        }
    });
}

}  // namespace LumenAnalyticsSDK
