// Asks the module manager for the enabled modules' properties.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAModulePropertyPlugin.h"

#include "LumenAnalyticsSDK/Core/LAModuleManager.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAModulePropertyPlugin);

std::optional<platform::Value::Dictionary> LAModulePropertyPlugin::properties() {
    return LAModuleManager::sharedInstance()->properties();
}

}  // namespace LumenAnalyticsSDK
