// The core's one entry point to the optional feature modules. A module is the class
// named "LA<Name>Manager" answering the class message "defaultManager"; the manager
// walks the fixed list of module names, hands modules the options, switches them off,
// and forwards the core's requests to whichever modules exist and are enabled, so that
// every call here is safe whether or not a module is built in.
#pragma once
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/LAModuleProtocol.h"
#include "platform/base/Protected.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

class LAModuleManager {
public:
    static const std::shared_ptr<LAModuleManager>& sharedInstance();
    // Stores the options in the shared manager, then loads the modules with them.
    static void startWithConfigOptions(const std::shared_ptr<LAConfigOptions>& configOptions);

    // The module names in the order the manager walks them.
    static const std::vector<std::string>& moduleNames();
    // "LA<name>Manager".
    static std::string classNameForModule(const std::string& moduleName);

    std::shared_ptr<LAConfigOptions> configOptions() const;
    void setConfigOptions(std::shared_ptr<LAConfigOptions> configOptions);

    // Only the JavaScript bridge is loaded.
    void loadModulesWithConfigOptions(const std::shared_ptr<LAConfigOptions>& configOptions);
    void loadModule(const std::optional<std::string>& moduleName,
                    const std::shared_ptr<LAConfigOptions>& configOptions);
    // The module's shared object, or none when no such module is built in.
    platform::ObjectPtr moduleWithName(const std::string& moduleName) const;

    // The options' disableSDK, else the enabled remote-config module's answer.
    bool isDisableSDK() const;
    void disableAllModules();
    void updateServerURL(const std::string& serverURL);
    bool canHandleURL(const platform::URL& url);
    bool handleURL(const platform::URL& url);
    // The enabled property modules' properties merged in module order (later keys win).
    platform::Value::Dictionary properties();
    // The modules' page scripts joined in module order; empty when there is none.
    std::string javaScriptSource();

    // The module when it exists, implements the interface and is enabled; else none.
    std::shared_ptr<LAChannelMatchModuleProtocol> channelMatchManager() const;
    std::shared_ptr<LADebugModeModuleProtocol> debugModeManager() const;
    std::shared_ptr<LAEncryptModuleProtocol> encryptManager() const;
    std::shared_ptr<LADeepLinkModuleProtocol> deepLinkManager() const;
    std::shared_ptr<LAAutoTrackModuleProtocol> autoTrackManager() const;
    std::shared_ptr<LAVisualizedModuleProtocol> visualizedManager() const;
    std::shared_ptr<LARemoteConfigModuleProtocol> remoteConfigManager() const;

    // Forwarders: each does nothing, or answers none or false, without its module.
    std::optional<platform::Value::Dictionary> channelInfoWithEvent(const std::string& event);
    void setShowDebugAlertView(bool show);
    void showDebugModeWarning(const std::string& message);
    bool hasSecretKey();
    std::optional<platform::Value::Dictionary> encryptJSONObject(const platform::Value& obj);
    void handleEncryptWithConfig(const platform::Value::Dictionary& encryptConfig);
    // Uses the encrypt module whether or not it is enabled.
    std::optional<platform::Value::Dictionary> encryptEvent(const platform::Value& event, const platform::Data& key);
    std::optional<platform::Value::Dictionary> latestUtmProperties();
    std::optional<platform::Value::Dictionary> utmProperties();
    void clearUtmProperties();
    void trackAppEndWhenCrashed();
    void trackPageLeaveWhenCrashed();
    std::optional<platform::Value::Dictionary> propertiesWithView(const platform::ObjectPtr& view);
    // Without a visualised module the completion runs at once with none.
    void visualPropertiesWithView(const platform::ObjectPtr& view,
                                  LAVisualizedModuleProtocol::PropertiesCompletion completionHandler);
    void queryVisualPropertiesWithConfigs(const platform::Value& propertyConfigs,
                                          LAVisualizedModuleProtocol::PropertiesCompletion completionHandler);
    void retryRequestRemoteConfigWithForceUpdateFlag(bool isForceUpdate);
    bool isIgnoreEventObject(const std::shared_ptr<LABaseEventObject>& eventObject);

private:
    // The module under `name` seen through interface T, when it implements it and (unless
    // `anyState`) is enabled.
    template <class T>
    std::shared_ptr<T> enabledModule(const std::string& name, bool anyState = false) const;

    // The facade may set the options from its queue.
    platform::Protected<std::shared_ptr<LAConfigOptions>> configOptions_;
};

template <class T>
std::shared_ptr<T> LAModuleManager::enabledModule(const std::string& name, bool anyState) const {
    auto object = moduleWithName(name);
    auto module = std::dynamic_pointer_cast<LAModuleProtocol>(object);
    auto typed = std::dynamic_pointer_cast<T>(object);
    if (!module || !typed || (!anyState && !module->isEnable())) return nullptr;
    return typed;
}

}  // namespace LumenAnalyticsSDK
