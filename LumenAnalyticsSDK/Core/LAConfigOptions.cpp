// Defaults, clamps and the copy rule of the analytics client's options.
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"

#include <algorithm>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/LALimitKeyManager.h"

namespace LumenAnalyticsSDK {

LAConfigOptions::LAConfigOptions(std::string serverURL, std::optional<platform::Value::Dictionary> launchOptions)
    : serverURL_(std::move(serverURL)), launchOptions_(std::move(launchOptions)), flushInterval_(15 * 1000),
      flushBulkSize_(100), maxCacheSize_(10000), flushNetworkPolicy_(LANetworkTypeWIFI), eventSessionTimeout_(300),
      storePlugins_(std::make_shared<LASharedPluginList<LAStorePlugin>>()),
      propertyPlugins_(std::make_shared<LASharedPluginList<LAPropertyPlugin>>()), minRequestHourInterval_(24),
      maxRequestHourInterval_(48) {
    enableRemoteConfig = enableChannelMatch = enableDeepLink = enableAutoTrack = true;
}

std::shared_ptr<LAConfigOptions> LAConfigOptions::copy() const {
    auto copy = std::make_shared<LAConfigOptions>();
    copy->setServerURL(serverURL());
    copy->setLaunchOptions(launchOptions_);
    copy->setEnableJavaScriptBridge(enableJavaScriptBridge_);
    copy->setFlushInterval(flushInterval_);
    copy->setFlushBulkSize(flushBulkSize_);
    copy->setMaxCacheSize(maxCacheSize_);
    copy->setEnableLog(enableLog_);
    copy->setFlushBeforeEnterBackground(flushBeforeEnterBackground_);
    copy->setFlushNetworkPolicy(flushNetworkPolicy_);
    copy->setDisableSDK(disableSDK_);
    copy->storePlugins_ = storePlugins_;
    copy->setEnableSession(enableSession_);
    copy->setEventSessionTimeout(eventSessionTimeout_);
    copy->setDisableDeviceId(disableDeviceId_);
    copy->propertyPlugins_ = propertyPlugins_;
    if (instantEvents_) copy->setInstantEvents(platform::Value(*instantEvents_));
    return copy;
}

std::string LAConfigOptions::serverURL() const { return serverURL_.get(); }

void LAConfigOptions::setServerURL(std::string serverURL) { serverURL_.set(std::move(serverURL)); }

void LAConfigOptions::setFlushInterval(std::int64_t milliseconds) {
    flushInterval_ = std::max<std::int64_t>(milliseconds, 5000);
}

void LAConfigOptions::setFlushBulkSize(std::int64_t events) { flushBulkSize_ = std::max<std::int64_t>(events, 50); }

void LAConfigOptions::setMaxCacheSize(std::int64_t events) { maxCacheSize_ = std::max<std::int64_t>(events, 10000); }

void LAConfigOptions::setEventSessionTimeout(std::int64_t seconds) {
    if (seconds > 0) eventSessionTimeout_ = seconds;
}

void LAConfigOptions::setInstantEvents(const platform::Value& events) {
    if (auto array = events.asArray()) instantEvents_ = *array;
}

std::vector<std::shared_ptr<LAStorePlugin>> LAConfigOptions::storePlugins() const {
    return storePlugins_ ? storePlugins_->plugins() : std::vector<std::shared_ptr<LAStorePlugin>>{};
}

void LAConfigOptions::registerStorePlugin(std::shared_ptr<LAStorePlugin> plugin) {
    if (storePlugins_) storePlugins_->append(std::move(plugin));
}

std::vector<std::shared_ptr<LAPropertyPlugin>> LAConfigOptions::propertyPlugins() const {
    return propertyPlugins_ ? propertyPlugins_->plugins() : std::vector<std::shared_ptr<LAPropertyPlugin>>{};
}

void LAConfigOptions::registerPropertyPlugin(const platform::ObjectPtr& plugin) {
    auto propertyPlugin = std::dynamic_pointer_cast<LAPropertyPlugin>(plugin);
    if (propertyPlugin && propertyPlugins_) propertyPlugins_->append(std::move(propertyPlugin));
}

void LAConfigOptions::registerLimitKeys(const platform::Value& keys) { LALimitKeyManager::registerLimitKeys(keys); }

void LAConfigOptions::setMinRequestHourInterval(std::int64_t hours) {
    if (hours > 0) minRequestHourInterval_ = std::min<std::int64_t>(hours, 168);
}

void LAConfigOptions::setMaxRequestHourInterval(std::int64_t hours) {
    if (hours > 0) maxRequestHourInterval_ = std::min<std::int64_t>(hours, 168);
}

void LAConfigOptions::ignorePageLeave(const platform::Value& classes) {
    auto array = classes.asArray();
    if (!array) return;
    platform::Value::Set set;
    for (const auto& name : *array) set.insert(name);
    ignoredPageLeaveClasses_ = std::move(set);
}

}  // namespace LumenAnalyticsSDK
