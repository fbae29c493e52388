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

std::optional<platform::Value::Dictionary> LASuperPropertyPlugin::properties() {
    std::lock_guard lock(mutex_);
    return superProperties_;
}

void LASuperPropertyPlugin::unarchiveSuperProperties() {
    auto stored = LAStoreManager::sharedInstance().objectForKey(storeKey);
    std::lock_guard lock(mutex_);
    const auto* dictionary = stored.asDictionary();
    superProperties_ = dictionary ? *dictionary : platform::Value::Dictionary{};
}

void LASuperPropertyPlugin::archiveSuperProperties() {
    platform::Value::Dictionary snapshot;
    {
        std::lock_guard lock(mutex_);
        snapshot = superProperties_;
    }
    LAStoreManager::sharedInstance().setObject(platform::Value(std::move(snapshot)), storeKey);
}

void LASuperPropertyPlugin::registerSuperProperties(const platform::Value::Dictionary& properties) {
    auto valid =
        LAPropertyValidator::validProperties(platform::Value(properties)).value_or(platform::Value::Dictionary{});
    unregisterSameLetterSuperProperties(valid);
    {
        std::lock_guard lock(mutex_);
        for (const auto& [key, value] : valid) superProperties_[key] = value;
    }
    archiveSuperProperties();
}

void LASuperPropertyPlugin::unregisterSuperProperty(const std::optional<std::string>& key) {
    if (!key) return;
    {
        std::lock_guard lock(mutex_);
        superProperties_.erase(*key);
    }
    archiveSuperProperties();
}

void LASuperPropertyPlugin::clearSuperProperties() {
    {
        std::lock_guard lock(mutex_);
        superProperties_.clear();
    }
    archiveSuperProperties();
}

void LASuperPropertyPlugin::unregisterSameLetterSuperProperties(const platform::Value::Dictionary& properties) {
    std::lock_guard lock(mutex_);
    for (const auto& [newKey, value] : properties) {
        auto lowered = lowercased(newKey);
        for (auto it = superProperties_.begin(); it != superProperties_.end();)
            it = lowercased(it->first) == lowered ? superProperties_.erase(it) : std::next(it);
    }
}

}  // namespace LumenAnalyticsSDK
