// Host-supplied stand-ins for system values, and the advertising identifier look-up.
#include "LumenAnalyticsSDK/Core/LALimitKeyManager.h"

#include "platform/base/NoDestructor.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

LALimitKeyManager& LALimitKeyManager::sharedInstance() {
    static platform::NoDestructor<LALimitKeyManager> manager;  // lives for the process
    return *manager;
}

void LALimitKeyManager::registerLimitKeys(const platform::Value& keys) {
    const auto* entries = keys.asDictionary();
    if (!entries) return;
    for (const auto& [key, value] : *entries) sharedInstance().keys_[key] = value;
}

namespace {
platform::Value registered(const char* key) {
    const auto& keys = LALimitKeyManager::sharedInstance().keys();
    auto found = keys.find(key);
    return found == keys.end() ? platform::Value() : found->second;
}
}  // namespace

platform::Value LALimitKeyManager::idfa() { return registered(LALimitKeyIDFA); }
platform::Value LALimitKeyManager::idfv() { return registered(LALimitKeyIDFV); }
platform::Value LALimitKeyManager::carrier() { return registered(LALimitKeyCarrier); }

// The identifier classes are looked up by name only; a platform without them answers none.
platform::ObjectPtr LAIDFAHelper::idfaManager() {
    auto managerClass = platform::Class::named("ASIdentifierManager");
    if (!managerClass || !managerClass->respondsToSelector(platform::Selector("sharedManager"))) return nullptr;
    return managerClass->perform(platform::Selector("sharedManager")).asObject();
}

bool LAIDFAHelper::isEnableIDFA() {
    auto trackingClass = platform::Class::named("ATTrackingManager");
    if (!trackingClass || !trackingClass->respondsToSelector(platform::Selector("trackingAuthorizationStatus")))
        return false;
    return trackingClass->perform(platform::Selector("trackingAuthorizationStatus")).asInt64() == 3;
}

std::optional<std::string> LAIDFAHelper::idfa() {
    if (!isEnableIDFA()) return std::nullopt;
    auto manager = idfaManager();
    if (!manager || !manager->respondsToSelector(platform::Selector("advertisingIdentifier"))) return std::nullopt;
    auto identifier = manager->perform(platform::Selector("advertisingIdentifier"));
    if (!identifier.isString() || identifier.asString()->rfind("00000000", 0) == 0) return std::nullopt;
    return *identifier.asString();
}

}  // namespace LumenAnalyticsSDK
