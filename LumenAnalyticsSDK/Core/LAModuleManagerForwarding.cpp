// The manager's forwarders: each sends its request to the module that handles it, and
// does nothing (or answers none or false) when that module is not built in or is off.
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"

namespace LumenAnalyticsSDK {

using platform::Value;
using Properties = std::optional<Value::Dictionary>;

Properties LAModuleManager::channelInfoWithEvent(const std::string& event) {
    auto module = channelMatchManager();
    return module ? module->channelInfoWithEvent(event) : std::nullopt;
}

void LAModuleManager::setShowDebugAlertView(bool show) {
    if (auto module = debugModeManager()) module->setShowDebugAlertView(show);
}

void LAModuleManager::showDebugModeWarning(const std::string& message) {
    if (auto module = debugModeManager()) module->showDebugModeWarning(message);
}

bool LAModuleManager::hasSecretKey() {
    auto module = encryptManager();
    return module && module->hasSecretKey();
}

Properties LAModuleManager::encryptJSONObject(const Value& obj) {
    auto module = encryptManager();
    return module ? module->encryptJSONObject(obj) : std::nullopt;
}

void LAModuleManager::handleEncryptWithConfig(const Value::Dictionary& encryptConfig) {
    if (auto module = encryptManager()) module->handleEncryptWithConfig(encryptConfig);
}

Properties LAModuleManager::encryptEvent(const Value& event, const platform::Data& key) {
    auto module = enabledModule<LAEncryptModuleProtocol>("Encrypt", true);
    return module ? module->encryptEvent(event, key) : std::nullopt;
}

Properties LAModuleManager::latestUtmProperties() {
    auto module = deepLinkManager();
    return module ? module->latestUtmProperties() : std::nullopt;
}

Properties LAModuleManager::utmProperties() {
    auto module = deepLinkManager();
    return module ? module->utmProperties() : std::nullopt;
}

void LAModuleManager::clearUtmProperties() {
    if (auto module = deepLinkManager()) module->clearUtmProperties();
}

void LAModuleManager::trackAppEndWhenCrashed() {
    if (auto module = autoTrackManager()) module->trackAppEndWhenCrashed();
}

void LAModuleManager::trackPageLeaveWhenCrashed() {
    if (auto module = autoTrackManager()) module->trackPageLeaveWhenCrashed();
}

Properties LAModuleManager::propertiesWithView(const platform::ObjectPtr& view) {
    auto module = visualizedManager();
    return module ? module->propertiesWithView(view) : std::nullopt;
}

void LAModuleManager::visualPropertiesWithView(const platform::ObjectPtr& view,
                                               LAVisualizedModuleProtocol::PropertiesCompletion completionHandler) {
    if (auto module = visualizedManager()) return module->visualPropertiesWithView(view, std::move(completionHandler));
    if (completionHandler) completionHandler(std::nullopt);
}

void LAModuleManager::queryVisualPropertiesWithConfigs(
    const Value& propertyConfigs, LAVisualizedModuleProtocol::PropertiesCompletion completionHandler) {
    if (auto module = visualizedManager())
        return module->queryVisualPropertiesWithConfigs(propertyConfigs, std::move(completionHandler));
    if (completionHandler) completionHandler(std::nullopt);
}

void LAModuleManager::retryRequestRemoteConfigWithForceUpdateFlag(bool isForceUpdate) {
    if (auto module = remoteConfigManager()) module->retryRequestRemoteConfigWithForceUpdateFlag(isForceUpdate);
}

bool LAModuleManager::isIgnoreEventObject(const std::shared_ptr<LABaseEventObject>& eventObject) {
    auto module = remoteConfigManager();
    return module && module->isIgnoreEventObject(eventObject);
}

}  // namespace LumenAnalyticsSDK
