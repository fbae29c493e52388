// The analytics client's one entry point: started once with its options, it records
// events through the track flow, uploads them on a timer and on demand through the flush
// flow, follows the application's lifecycle, and forwards identity, profile, item,
// timer and web-page operations. Every state change runs on its serial queue.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Flow/LAFlowData.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "platform/base/Protected.h"
#include "platform/base/Value.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace platform {
class Timer;
class URL;
struct Notification;
}  // namespace platform

namespace LumenAnalyticsSDK {

class LAAppLifecycle;
class LABaseEventObject;
class LAConsoleLogger;
class LAEventStore;
class LAIdentifier;
class LANetwork;
class LASessionProperty;
class LATrackTimer;

class LumenAnalyticsSDK : public platform::Object {
    PLATFORM_OBJECT(LumenAnalyticsSDK, platform::Object)
public:
    // Answers whether the event (name, properties it may change) is stored.
    using TrackEventCallback = LATrackEventCallback;
    using DynamicSuperProperties = std::function<platform::Value::Dictionary()>;

    static constexpr const char* lumenTrackFlowID = "lumen_track_flow";
    static constexpr const char* lumenFlushFlowID = "lumen_flush_flow";
    // How long termination waits for the serial queue to drain.
    static constexpr double terminationDrainSeconds = 2.0;

    // ---- the process's client ----
    // Once per process; later calls change nothing.
    static void startWithConfigOptions(const LAConfigOptions& configOptions);
    // None before start and while the client is switched off.
    static std::shared_ptr<LumenAnalyticsSDK> sharedInstance();
    // The client whether or not it is switched off; for the client's own parts.
    static std::shared_ptr<LumenAnalyticsSDK> sdkInstance();
    static void disableSDK();
    static void enableSDK();
    // Milliseconds since 1970, and of system uptime.
    static std::uint64_t getCurrentTime();
    static std::uint64_t getSystemUpTime();
    static std::string libVersion() { return "4.6.0"; }
    // Evaluates the host's dynamic super properties now, on the caller's thread.
    static void buildDynamicSuperProperties();
    static void clearKeychainData();

    explicit LumenAnalyticsSDK(const LAConfigOptions& configOptions);
    ~LumenAnalyticsSDK() override;

    // ---- events ----
    void track(const std::string& event);
    void track(const std::string& event, const std::optional<platform::Value::Dictionary>& properties);
    void trackEventObject(const std::shared_ptr<LABaseEventObject>& eventObject,
                          const std::optional<platform::Value::Dictionary>& properties);
    void asyncTrackEventObject(const std::shared_ptr<LABaseEventObject>& eventObject,
                               const std::optional<platform::Value::Dictionary>& properties);
    void flush();
    void flushAllEventRecords();
    // The completion runs once, after the instant and then the ordinary records' rounds.
    void flushAllEventRecordsWithCompletion(std::function<void()> completion);
    void deleteAll();
    void trackEventCallback(TrackEventCallback callback);
    TrackEventCallback trackEventCallback() const;

    // ---- properties ----
    void registerSuperProperties(const platform::Value::Dictionary& properties);
    void unregisterSuperProperty(const std::string& property);
    void clearSuperProperties();
    platform::Value::Dictionary currentSuperProperties();
    void registerDynamicSuperProperties(DynamicSuperProperties block);
    platform::Value::Dictionary getPresetProperties();
    void registerPropertyPlugin(const std::shared_ptr<class LAPropertyPlugin>& plugin);
    void unregisterPropertyPluginWithPluginClass(const platform::ClassPtr& pluginClass);
    void registerLimitKeys(const platform::Value& keys);

    // ---- settings ----
    void enableLog(bool enable);
    void enableLoggers();
    // A value that is neither none nor a string is refused.
    void setServerUrl(const platform::Value& serverUrl);
    void setServerUrl(const platform::Value& serverUrl, bool isRequestRemoteConfig);
    std::string serverUrl() const;
    std::int64_t flushInterval();
    void setFlushInterval(std::int64_t milliseconds);
    std::int64_t flushBulkSize();
    void setFlushBulkSize(std::int64_t size);
    std::int64_t maxCacheSize();
    void setMaxCacheSize(std::int64_t size);
    void setFlushNetworkPolicy(std::int64_t policy);
    std::int64_t debugMode() const;
    void setDebugMode(std::int64_t mode);

    // ---- flush timer and lifecycle ----
    void startFlushTimer();
    void stopFlushTimer();
    bool isFlushTimerRunning() const;
    // Seconds between the running flush timer's flushes; none when it is stopped.
    std::optional<double> flushTimerInterval() const;
    void addAppLifecycleObservers();
    void removeObservers();
    void appLifecycleStateWillChange(const platform::Notification& notification);
    void appLifecycleStateDidChange(const platform::Notification& notification);
    void appendWebViewUserAgent();
    void removeWebViewUserAgent();
    void remoteConfigManagerModelChanged(const platform::Notification& notification);
    void addRemoteConfigObservers();

    // ---- identity ----
    void login(const std::string& loginId);
    void login(const std::string& loginId, const std::optional<platform::Value::Dictionary>& properties);
    void loginWithKey(const std::string& key, const std::string& loginId);
    void loginWithKey(const std::string& key, const std::string& loginId,
                      const std::optional<platform::Value::Dictionary>& properties);
    void logout();
    std::optional<std::string> loginId();
    std::string anonymousId();
    std::string distinctId();
    platform::Value::Dictionary identities();
    void resetAnonymousId();
    void resetAnonymousIdentity(const platform::Value& anonymousId);
    void identify(const std::string& anonymousId);
    void bind(const std::string& key, const std::string& value);
    void unbind(const std::string& key, const std::string& value);

    // ---- profiles and items ----
    void profile(const std::string& type, const platform::Value::Dictionary& properties);
    void set(const std::optional<platform::Value::Dictionary>& profile);
    void setOnce(const std::optional<platform::Value::Dictionary>& profile);
    void set(const std::string& profile, const platform::Value& content);
    void setOnce(const std::string& profile, const platform::Value& content);
    void unset(const std::string& profile);
    void increment(const std::string& profile, const platform::Value& count);
    void increment(const std::optional<platform::Value::Dictionary>& profile);
    void append(const std::string& profile, const platform::Value& content);
    void deleteUser();
    void profilePushKey(const std::string& pushKey, const std::string& pushId);
    void profileUnsetPushKey(const std::string& pushKey);
    void itemSetWithType(const std::string& itemType, const std::string& itemId,
                         const std::optional<platform::Value::Dictionary>& properties);
    void itemDeleteWithType(const std::string& itemType, const std::string& itemId);

    // ---- event timers ----
    // The timer id, or none when the name is refused.
    std::optional<std::string> trackTimerStart(const std::string& event);
    void trackTimer(const std::string& event);
    void trackTimer(const std::string& event, int timeUnit);
    void trackTimerPause(const std::string& event);
    void trackTimerResume(const std::string& event);
    void removeTimer(const std::string& event);
    void clearTrackTimer();
    void trackTimerEnd(const std::string& event);
    void trackTimerEnd(const std::string& event, const std::optional<platform::Value::Dictionary>& properties);

    // ---- web pages, URLs and cookies ----
    void trackFromH5WithEvent(const std::optional<std::string>& eventInfo);
    void trackFromH5WithEvent(const std::optional<std::string>& eventInfo, bool enableVerify);
    void trackFromH5WithEventObject(const std::shared_ptr<LABaseEventObject>& eventObject,
                                    const std::optional<platform::Value::Dictionary>& properties);
    bool canHandleURL(const platform::URL& url);
    bool handleSchemeUrl(const std::optional<platform::URL>& url);
    void setCookie(const std::string& cookie, bool withEncode);
    std::string getCookieWithDecode(bool decode) const;

    // ---- parts, for the client's own nodes ----
    const platform::DispatchQueuePtr& serialQueue() const { return serialQueue_; }
    const platform::DispatchQueuePtr& readWriteQueue() const { return readWriteQueue_; }
    std::shared_ptr<LAConfigOptions> configOptions() const { return configOptions_; }
    const std::shared_ptr<LANetwork>& network() const { return network_; }
    const std::shared_ptr<LAEventStore>& eventStore() const { return eventStore_; }
    const std::shared_ptr<LATrackTimer>& trackTimer() const { return trackTimer_; }
    const std::shared_ptr<LAIdentifier>& identifier() const { return identifier_; }
    const std::shared_ptr<LASessionProperty>& sessionProperty() const { return sessionProperty_; }
    const std::shared_ptr<LAAppLifecycle>& appLifecycle() const { return appLifecycle_; }
    std::optional<std::string> addWebViewUserAgent() const;
    void setAddWebViewUserAgent(std::optional<std::string> suffix);
    std::optional<std::string> userAgent() const;

private:
    void setUp(const LAConfigOptions& configOptions);
    void wireFlows();
    // Switched off by the options or remote configuration; says so in the log.
    bool isSwitchedOff() const;
    // The host's track callback for the track flow: none while switched off.
    TrackEventCallback trackEventCallbackWhileSwitchedOn() const;
    void resgisterStorePlugins();
    void registerPropertyPlugin();
    bool checkEventName(const std::string& eventName);
    void trackIdentityEvent(const std::shared_ptr<LABaseEventObject>& eventObject, std::function<bool()> check,
                            std::function<void()> change, const std::optional<platform::Value::Dictionary>& properties);
    void runOnSerialQueue(std::function<void()> work);
    void drainSerialQueueBeforeExit();
    template <class F>
    auto readOnSerialQueue(F&& f);

    // What the host and the queues share: the callback, the user agents, the timer, the console logger.
    struct Shared {
        std::shared_ptr<platform::Timer> timer;
        std::optional<std::string> userAgent;
        std::optional<std::string> addWebViewUserAgent;
        TrackEventCallback trackEventCallback;
        std::shared_ptr<LAConsoleLogger> consoleLogger;
    };
    platform::Protected<Shared> shared_;
    std::shared_ptr<LANetwork> network_;
    std::shared_ptr<LAEventStore> eventStore_;
    platform::DispatchQueuePtr serialQueue_;
    platform::DispatchQueuePtr readWriteQueue_;
    std::shared_ptr<LATrackTimer> trackTimer_;
    std::shared_ptr<LAConfigOptions> configOptions_;
    std::shared_ptr<LAIdentifier> identifier_;
    std::shared_ptr<LASessionProperty> sessionProperty_;
    std::shared_ptr<LAAppLifecycle> appLifecycle_;
    std::vector<std::shared_ptr<void>> observers_;  // notification registrations, removed with the client
};

using LumenAnalyticsSDKPtr = std::shared_ptr<LumenAnalyticsSDK>;

}  // namespace LumenAnalyticsSDK
