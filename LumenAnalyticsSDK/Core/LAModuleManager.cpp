// Module look-up by class name and the forwarding of the core's requests to modules.
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"

#include "LumenAnalyticsSDK/Core/JSBridge/LAJavaScriptBridgeManager.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "platform/base/NoDestructor.h"
#include "platform/runtime/Class.h"

// The modules this build contains, registered at start-up so that look-up by name
// finds them: the JavaScript bridge only.
PLATFORM_REGISTER_CLASS(LumenAnalyticsSDK::LAJavaScriptBridgeManager);

namespace LumenAnalyticsSDK {

using platform::Value;

namespace {

constexpr const char* kJavaScriptBridgeModule = "JavaScriptBridge";

// Modules whose properties count even when they are empty.
bool mergesEmptyProperties(const std::string& name) { return name == "Location" || name == "DeviceOrientation"; }

}  // namespace

const std::shared_ptr<LAModuleManager>& LAModuleManager::sharedInstance() {
    static const platform::NoDestructor<std::shared_ptr<LAModuleManager>> instance(std::make_shared<LAModuleManager>());
    return *instance;
}

void LAModuleManager::startWithConfigOptions(const std::shared_ptr<LAConfigOptions>& configOptions) {
    sharedInstance()->setConfigOptions(configOptions);
    sharedInstance()->loadModulesWithConfigOptions(configOptions);
}

const std::vector<std::string>& LAModuleManager::moduleNames() {
    // Never destroyed: the client's queues may still ask while the process exits.
    static const platform::NoDestructor<std::vector<std::string>> names(std::vector<std::string>{
        "JavaScriptBridge", "AppPush", "ChannelMatch", "DeepLink", "DebugMode", "Location", "AutoTrack", "Visualized",
        "Encrypt", "DeviceOrientation", "Exception", "RemoteConfig", "Exposure"});
    return *names;
}

std::string LAModuleManager::classNameForModule(const std::string& moduleName) { return "LA" + moduleName + "Manager"; }

std::shared_ptr<LAConfigOptions> LAModuleManager::configOptions() const { return configOptions_.get(); }

void LAModuleManager::setConfigOptions(std::shared_ptr<LAConfigOptions> configOptions) {
    configOptions_.set(std::move(configOptions));
}

void LAModuleManager::loadModulesWithConfigOptions(const std::shared_ptr<LAConfigOptions>& configOptions) {
    loadModule(std::string(kJavaScriptBridgeModule), configOptions);
}

void LAModuleManager::loadModule(const std::optional<std::string>& moduleName,
                                 const std::shared_ptr<LAConfigOptions>& configOptions) {
    if (!moduleName) return;
    if (auto module = std::dynamic_pointer_cast<LAModuleProtocol>(moduleWithName(*moduleName)))
        module->setConfigOptions(configOptions);
}

platform::ObjectPtr LAModuleManager::moduleWithName(const std::string& moduleName) const {
    static const platform::NoDestructor<platform::Selector> defaultManagerSelector("defaultManager");
    const auto& defaultManager = *defaultManagerSelector;
    auto cls = platform::Class::named(classNameForModule(moduleName));
    if (!cls || !cls->respondsToSelector(defaultManager)) return nullptr;
    return cls->perform(defaultManager).asObject();
}

bool LAModuleManager::isDisableSDK() const {
    auto options = configOptions();
    if (options && options->disableSDK()) return true;
    auto remoteConfig = remoteConfigManager();
    return remoteConfig && remoteConfig->isDisableSDK();
}

void LAModuleManager::disableAllModules() {
    for (auto& name : moduleNames())
        if (auto module = std::dynamic_pointer_cast<LAModuleProtocol>(moduleWithName(name))) module->setEnable(false);
}

void LAModuleManager::updateServerURL(const std::string& serverURL) {
    for (auto& name : moduleNames())
        if (auto module = enabledModule<LAModuleProtocol>(name)) module->updateServerURL(serverURL);
}

bool LAModuleManager::canHandleURL(const platform::URL& url) {
    for (auto& name : moduleNames()) {
        auto module = std::dynamic_pointer_cast<LAOpenURLProtocol>(moduleWithName(name));
        if (module && module->canHandleURL(url)) return true;
    }
    return false;
}

bool LAModuleManager::handleURL(const platform::URL& url) {
    for (auto& name : moduleNames()) {
        auto module = std::dynamic_pointer_cast<LAOpenURLProtocol>(moduleWithName(name));
        if (module && module->canHandleURL(url)) return module->handleURL(url);
    }
    return false;
}

Value::Dictionary LAModuleManager::properties() {
    Value::Dictionary merged;
    for (auto& name : moduleNames()) {
        auto module = enabledModule<LAPropertyModuleProtocol>(name);
        auto properties = module ? module->properties() : std::nullopt;
        if (!properties || (properties->empty() && !mergesEmptyProperties(name))) continue;
        for (auto& [key, value] : *properties) merged[key] = value;
    }
    return merged;
}

std::string LAModuleManager::javaScriptSource() {
    std::string source;
    for (auto& name : moduleNames()) {
        // The bridge's own script depends on its option, not on whether it is enabled.
        auto module = enabledModule<LAJavaScriptBridgeModuleProtocol>(name, name == kJavaScriptBridgeModule);
        auto script = module ? module->javaScriptSource() : std::nullopt;
        if (script && !script->empty()) source += *script;
    }
    return source;
}

std::shared_ptr<LAChannelMatchModuleProtocol> LAModuleManager::channelMatchManager() const {
    return enabledModule<LAChannelMatchModuleProtocol>("ChannelMatch");
}
std::shared_ptr<LADebugModeModuleProtocol> LAModuleManager::debugModeManager() const {
    return enabledModule<LADebugModeModuleProtocol>("DebugMode");
}
std::shared_ptr<LAEncryptModuleProtocol> LAModuleManager::encryptManager() const {
    return enabledModule<LAEncryptModuleProtocol>("Encrypt");
}
std::shared_ptr<LADeepLinkModuleProtocol> LAModuleManager::deepLinkManager() const {
    return enabledModule<LADeepLinkModuleProtocol>("DeepLink");
}
std::shared_ptr<LAAutoTrackModuleProtocol> LAModuleManager::autoTrackManager() const {
    return enabledModule<LAAutoTrackModuleProtocol>("AutoTrack");
}
std::shared_ptr<LAVisualizedModuleProtocol> LAModuleManager::visualizedManager() const {
    return enabledModule<LAVisualizedModuleProtocol>("Visualized");
}
std::shared_ptr<LARemoteConfigModuleProtocol> LAModuleManager::remoteConfigManager() const {
    return enabledModule<LARemoteConfigModuleProtocol>("RemoteConfig");
}

}  // namespace LumenAnalyticsSDK
