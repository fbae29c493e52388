// The options with which the host configures the analytics client before starting it:
// server URL, upload policy, logging, sessions, instant events and plugins. The client
// keeps only a `copy()`, which copies the options in effect and shares the plugin lists.
// Options for features this client does not contain are stored and have no effect.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Utils/LARelaxedAtomic.h"
#include "platform/base/Protected.h"
#include "platform/base/Value.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

class LAStorePlugin;
class LAPropertyPlugin;
class LASecurityPolicy;

// A list shared by an options object and its copies: a plugin registered on either is
// listed in both.
template <class T>
class LASharedPluginList {
public:
    void append(std::shared_ptr<T> plugin) {
        plugins_.write([&](auto& plugins) { plugins.push_back(std::move(plugin)); });
    }
    std::vector<std::shared_ptr<T>> plugins() const { return plugins_.get(); }

private:
    platform::Protected<std::vector<std::shared_ptr<T>>> plugins_;
};

// Network types for `flushNetworkPolicy`.
inline constexpr std::int64_t LANetworkTypeWIFI = 8;

class LAConfigOptions {
public:
    // Every integer 0, every flag false, every object none.
    LAConfigOptions() = default;
    // The options with their defaults.
    LAConfigOptions(std::string serverURL, std::optional<platform::Value::Dictionary> launchOptions);
    LAConfigOptions(const LAConfigOptions&) = delete;
    LAConfigOptions& operator=(const LAConfigOptions&) = delete;

    // A new object from zeros with, through the setters, the options in effect (all
    // but `debugMode`) and the same plugin lists; everything else keeps its zero.
    std::shared_ptr<LAConfigOptions> copy() const;

    // Options in effect.
    std::string serverURL() const;
    void setServerURL(std::string serverURL);
    const std::optional<platform::Value::Dictionary>& launchOptions() const { return launchOptions_; }
    void setLaunchOptions(std::optional<platform::Value::Dictionary> options) { launchOptions_ = std::move(options); }
    // Milliseconds; below 5000 becomes 5000.
    std::int64_t flushInterval() const { return flushInterval_; }
    void setFlushInterval(std::int64_t milliseconds);
    // 50 or less becomes 50.
    std::int64_t flushBulkSize() const { return flushBulkSize_; }
    void setFlushBulkSize(std::int64_t events);
    // Below 10000 becomes 10000.
    std::int64_t maxCacheSize() const { return maxCacheSize_; }
    void setMaxCacheSize(std::int64_t events);
    std::int64_t flushNetworkPolicy() const { return flushNetworkPolicy_; }
    void setFlushNetworkPolicy(std::int64_t mask) { flushNetworkPolicy_ = mask; }
    bool enableLog() const { return enableLog_; }
    void setEnableLog(bool enable) { enableLog_ = enable; }
    bool disableSDK() const { return disableSDK_; }
    void setDisableSDK(bool disable) { disableSDK_ = disable; }
    bool flushBeforeEnterBackground() const { return flushBeforeEnterBackground_; }
    void setFlushBeforeEnterBackground(bool flush) { flushBeforeEnterBackground_ = flush; }
    bool enableSession() const { return enableSession_; }
    void setEnableSession(bool enable) { enableSession_ = enable; }
    // Seconds; only values above 0 are stored.
    std::int64_t eventSessionTimeout() const { return eventSessionTimeout_; }
    void setEventSessionTimeout(std::int64_t seconds);
    bool disableDeviceId() const { return disableDeviceId_; }
    void setDisableDeviceId(bool disable) { disableDeviceId_ = disable; }
    // Event names flagged instant; only an array is stored, anything else is ignored.
    const std::optional<platform::Value::Array>& instantEvents() const { return instantEvents_; }
    void setInstantEvents(const platform::Value& events);
    bool enableJavaScriptBridge() const { return enableJavaScriptBridge_; }
    void setEnableJavaScriptBridge(bool enable) { enableJavaScriptBridge_ = enable; }
    std::int64_t debugMode() const { return debugMode_; }
    void setDebugMode(std::int64_t mode) { debugMode_ = mode; }

    // Plugins installed at start-up: store plugins after the built-in ones, property
    // plugins before them. Shared with copies.
    std::vector<std::shared_ptr<LAStorePlugin>> storePlugins() const;
    void registerStorePlugin(std::shared_ptr<LAStorePlugin> plugin);
    std::vector<std::shared_ptr<LAPropertyPlugin>> propertyPlugins() const;
    // Only property plugins are taken; anything else is ignored.
    void registerPropertyPlugin(const platform::ObjectPtr& plugin);
    // Handed at once to the limit-key manager; nothing is kept here.
    void registerLimitKeys(const platform::Value& keys);

    // Options stored without effect.
    std::shared_ptr<LASecurityPolicy> securityPolicy;
    std::shared_ptr<std::vector<platform::ObjectPtr>> encryptors;
    platform::ObjectPtr eventEncryptor;
    bool enableEncrypt = false, enableTransportEncrypt = false, enableFlushEncrypt = false;
    std::function<void(const platform::Value&)> saveSecretKey;
    std::function<platform::Value()> loadSecretKey;
    bool enableTrackPush = false, enableHeatMap = false, enableVisualizedAutoTrack = false,
         enableVisualizedProperties = false, enableTrackAppCrash = false;
    bool enableSaveDeepLinkInfo = false, enableAutoAddChannelCallbackEvent = false;
    std::optional<platform::Value::Array> sourceChannels;
    std::optional<std::string> customADChannelURL, remoteConfigURL;
    bool disableRandomTimeRequestRemoteConfig = false;
    bool enableTrackPageLeave = false, enableTrackChildPageLeave = false, enableAutoTrackChildViewScreen = false;
    std::int64_t autoTrackEventType = 0;
    bool enableLocation = false, enableDeviceOrientation = false;
    bool enableRemoteConfig = false, enableChannelMatch = false, enableDeepLink = false, enableAutoTrack = false;

    // Hours; only values above 0 are stored, capped at 168.
    std::int64_t minRequestHourInterval() const { return minRequestHourInterval_; }
    void setMinRequestHourInterval(std::int64_t hours);
    std::int64_t maxRequestHourInterval() const { return maxRequestHourInterval_; }
    void setMaxRequestHourInterval(std::int64_t hours);
    const platform::Value::Set& ignoredPageLeaveClasses() const { return ignoredPageLeaveClasses_; }
    // Stores the set of an array's elements; anything else is ignored.
    void ignorePageLeave(const platform::Value& classes);

private:
    platform::Protected<std::string> serverURL_;
    std::optional<platform::Value::Dictionary> launchOptions_;
    // Set by the host on any thread while the serial and upload queues read them.
    LARelaxedAtomic<std::int64_t> flushInterval_ = 0, flushBulkSize_ = 0, maxCacheSize_ = 0, flushNetworkPolicy_ = 0;
    LARelaxedAtomic<bool> enableLog_ = false, disableSDK_ = false, flushBeforeEnterBackground_ = false,
                          enableSession_ = false;
    LARelaxedAtomic<std::int64_t> eventSessionTimeout_ = 0;
    LARelaxedAtomic<bool> disableDeviceId_ = false;
    std::optional<platform::Value::Array> instantEvents_;
    LARelaxedAtomic<bool> enableJavaScriptBridge_ = false;
    LARelaxedAtomic<std::int64_t> debugMode_ = 0;
    std::shared_ptr<LASharedPluginList<LAStorePlugin>> storePlugins_;
    std::shared_ptr<LASharedPluginList<LAPropertyPlugin>> propertyPlugins_;
    std::int64_t minRequestHourInterval_ = 0, maxRequestHourInterval_ = 0;
    platform::Value::Set ignoredPageLeaveClasses_;
};

}  // namespace LumenAnalyticsSDK
