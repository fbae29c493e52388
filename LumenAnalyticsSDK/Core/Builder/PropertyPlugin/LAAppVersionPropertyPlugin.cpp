// Reads the application's version from its bundle once.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAAppVersionPropertyPlugin.h"

#include "platform/files/Bundle.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAAppVersionPropertyPlugin);

void LAAppVersionPropertyPlugin::prepare() {
    auto bundle = platform::Bundle::main();
    if (!bundle) return;
    auto version = bundle->object("CFBundleShortVersionString");
    if (version.isString()) appVersion_ = *version.asString();
}

// Without a version the answer is empty, not none: none would make every event wait for
// a delivery that never comes.
std::optional<platform::Value::Dictionary> LAAppVersionPropertyPlugin::properties() {
    if (!appVersion_) return platform::Value::Dictionary{};
    return platform::Value::Dictionary{{"$app_version", *appVersion_}};
}

}  // namespace LumenAnalyticsSDK
