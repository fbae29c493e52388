// Reads the referrer title the referrer manager remembered.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAReferrerTitlePropertyPlugin.h"

#include "LumenAnalyticsSDK/Core/Tracker/LAReferrerManager.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAReferrerTitlePropertyPlugin);

std::optional<platform::Value::Dictionary> LAReferrerTitlePropertyPlugin::properties() {
    auto title = LAReferrerManager::sharedInstance().referrerTitle();
    if (!title) return std::nullopt;
    return platform::Value::Dictionary{{"$referrer_title", *title}};
}

}  // namespace LumenAnalyticsSDK
