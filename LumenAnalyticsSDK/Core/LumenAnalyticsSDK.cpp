// The analytics client's facade: start-up and wiring, the track and flush paths, the
// flush timer, the lifecycle reactions, switching off and on, and the settings.
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPluginManager.h"
#include "LumenAnalyticsSDK/Core/Builder/LASessionProperty.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAAppVersionPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LACarrierNamePropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LADeviceIDPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LADynamicSuperPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAEventDurationPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAFirstDayPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAModulePropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LANetworkInfoPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAPresetPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAReferrerTitlePropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LASessionPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LASuperPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Flow/LAFlowData.h"
#include "LumenAnalyticsSDK/Core/Flow/LAFlowManager.h"
#include "LumenAnalyticsSDK/Core/Interceptor/LABuiltInInterceptors.h"
#include "LumenAnalyticsSDK/Core/LAAppLifecycle.h"
#include "LumenAnalyticsSDK/Core/LAIdentifier.h"
#include "LumenAnalyticsSDK/Core/LALimitKeyManager.h"
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"
#include "LumenAnalyticsSDK/Core/Network/LANetwork.h"
#include "LumenAnalyticsSDK/Core/Network/LAReachability.h"
#include "LumenAnalyticsSDK/Core/Tracker/LADatabase.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventTrackerPluginManager.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAReferrerManager.h"
#include "LumenAnalyticsSDK/Core/Tracker/LATrackTimer.h"
#include "LumenAnalyticsSDK/Core/Utils/LACommonUtility.h"
#include "LumenAnalyticsSDK/Core/Utils/LAConsoleLogger.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAKeyChainItemWrapper.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAUserDefaultsStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/NSDictionary+LACopyProperties.h"
#include "platform/dispatch/CheckOnQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/files/NotificationCenter.h"
#include "platform/runloop/Timer.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LumenAnalyticsSDK);

namespace {

// Published only once start-up has built the client completely; never destroyed.
std::atomic<std::shared_ptr<LumenAnalyticsSDK>*> publishedInstance{nullptr};
std::once_flag startOnce;

std::string labelWithAddress(const char* prefix, const void* address) {
    char label[96];
    std::snprintf(label, sizeof label, "%s%p", prefix, address);
    return label;
}

void post(const std::string& name) { platform::NotificationCenter::defaultCenter()->post(name, nullptr); }

std::uint64_t stateOf(const platform::Notification& notification, const char* key) {
    auto found = notification.userInfo.find(key);
    return found == notification.userInfo.end() ? 0 : found->second.asUInt64().value_or(0);
}

}  // namespace

// ---- the process's client ------------------------------------------------------------------

// Concurrent first callers wait in call_once; no thread sees the client before it is built.
void LumenAnalyticsSDK::startWithConfigOptions(const LAConfigOptions& configOptions) {
    std::call_once(startOnce, [&configOptions] {
        auto instance = std::make_shared<LumenAnalyticsSDK>(configOptions);
        instance->setUp(configOptions);
        publishedInstance.store(new std::shared_ptr<LumenAnalyticsSDK>(instance), std::memory_order_release);
        LAModuleManager::startWithConfigOptions(instance->configOptions_);
        instance->addAppLifecycleObservers();
    });
}

std::shared_ptr<LumenAnalyticsSDK> LumenAnalyticsSDK::sdkInstance() {
    auto* published = publishedInstance.load(std::memory_order_acquire);
    return published ? *published : nullptr;
}

std::shared_ptr<LumenAnalyticsSDK> LumenAnalyticsSDK::sharedInstance() {
    auto instance = sdkInstance();
    if (!instance || instance->isSwitchedOff()) return nullptr;
    return instance;
}

bool LumenAnalyticsSDK::isSwitchedOff() const {
    if (!LAModuleManager::sharedInstance()->isDisableSDK()) return false;
    LALogDebug("SDK is disabled");
    return true;
}

std::uint64_t LumenAnalyticsSDK::getCurrentTime() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::uint64_t LumenAnalyticsSDK::getSystemUpTime() { return LATrackTimer::getSystemUpTime(); }

void LumenAnalyticsSDK::buildDynamicSuperProperties() {
    LADynamicSuperPropertyPlugin::sharedDynamicSuperPropertyPlugin()->buildDynamicSuperProperties();
}

void LumenAnalyticsSDK::clearKeychainData() {
    LAKeyChainItemWrapper::deletePasswordWithAccount("com.lumen.analytics.udid", "com.lumen.analytics.udid");
}

LumenAnalyticsSDK::LumenAnalyticsSDK(const LAConfigOptions& configOptions) : configOptions_(configOptions.copy()) {}

LumenAnalyticsSDK::~LumenAnalyticsSDK() { platform::NotificationCenter::defaultCenter()->removeObserver(this); }

// Each step may fail; a failure is logged and leaves the client as far as it was built.
void LumenAnalyticsSDK::setUp(const LAConfigOptions&) {
    try {
        if (!configOptions_->disableSDK() && configOptions_->enableLog()) enableLog(true);
        resgisterStorePlugins();
        appLifecycle_ = LAAppLifecycle::create();
        serialQueue_ = platform::DispatchQueue::create(labelWithAddress("com.lumen.serialQueue.", this));
        readWriteQueue_ = platform::DispatchQueue::create(labelWithAddress("com.lumen.readWriteQueue.", this));
        std::weak_ptr<LumenAnalyticsSDK> weak = std::static_pointer_cast<LumenAnalyticsSDK>(shared_from_this());
        network_ = std::make_shared<LANetwork>([weak]() -> std::shared_ptr<const LAConfigOptions> {
            auto self = weak.lock();
            return self ? self->configOptions_ : nullptr;
        });
        // The table's cap follows the running client's option.
        LADatabase::setMaxCacheSizeSource([weak] {
            auto self = weak.lock();
            return self ? self->maxCacheSize() : LADatabase::defaultMaxCacheSize;
        });
        eventStore_ = LAEventStore::eventStoreWithFilePath(LAFileStorePlugin::filePath("message-v2"));
        trackTimer_ = std::make_shared<LATrackTimer>();
        identifier_ = LAIdentifier::create(readWriteQueue_);
        if (configOptions_->enableSession())
            sessionProperty_ = std::make_shared<LASessionProperty>(configOptions_->eventSessionTimeout() * 1000);
        else LASessionProperty::removeSessionModel();
        registerPropertyPlugin();
        if (!configOptions_->disableSDK()) {
            LAReachability::sharedInstance()->startMonitoring();
            addRemoteConfigObservers();
        }
        if (LAApplication::isAppExtension()) startFlushTimer();
        wireFlows();
    } catch (const std::exception& e) {
        LALogError(description() + " error: " + e.what());
    }
}

// The flows' nodes get what they need of the client through each run's data, handed over
// by the flow manager: the options, the serial queue and the host's track callback.
void LumenAnalyticsSDK::wireFlows() {
    auto& flows = LAFlowManager::sharedInstance();
    flows.configOptions = configOptions_;
    flows.serialQueue = serialQueue_;
    std::weak_ptr<LumenAnalyticsSDK> weak = std::static_pointer_cast<LumenAnalyticsSDK>(shared_from_this());
    flows.trackEventCallback = [weak]() -> TrackEventCallback {
        auto self = weak.lock();
        return self ? self->trackEventCallbackWhileSwitchedOn() : nullptr;
    };
    registerBuiltInInterceptors();  // before the nodes are loaded: each makes its worker then
    flows.loadFlows();
}

void LumenAnalyticsSDK::resgisterStorePlugins() {
    auto& store = LAStoreManager::sharedInstance();
    store.registerStorePlugin(std::make_shared<LAFileStorePlugin>());
    store.registerStorePlugin(std::make_shared<LAUserDefaultsStorePlugin>());
    for (const auto& plugin : configOptions_->storePlugins()) store.registerStorePlugin(plugin);
}

void LumenAnalyticsSDK::registerPropertyPlugin() {
    auto networkInfo = std::make_shared<LANetworkInfoPropertyPlugin>();
    auto carrierName = std::make_shared<LACarrierNamePropertyPlugin>();
    auto dynamicSuper = LADynamicSuperPropertyPlugin::sharedDynamicSuperPropertyPlugin();
    dynamicSuper->setSerialQueue(serialQueue_);
    serialQueue_->async([this, networkInfo, carrierName, dynamicSuper] {
        PLATFORM_CHECK_ON_QUEUE(serialQueue_);
        auto& manager = LAPropertyPluginManager::sharedInstance();
        for (const auto& plugin : configOptions_->propertyPlugins()) manager.registerPropertyPlugin(plugin);
        manager.registerPropertyPlugin(std::make_shared<LAPresetPropertyPlugin>(libVersion()));
        manager.registerPropertyPlugin(std::make_shared<LAAppVersionPropertyPlugin>());
        auto deviceID = std::make_shared<LADeviceIDPropertyPlugin>();
        deviceID->setDisableDeviceId(configOptions_->disableDeviceId());
        manager.registerPropertyPlugin(deviceID);
        manager.registerPropertyPlugin(carrierName);
        manager.registerPropertyPlugin(std::make_shared<LASuperPropertyPlugin>());
        manager.registerPropertyPlugin(dynamicSuper);
        manager.registerPropertyPlugin(networkInfo);
        manager.registerPropertyPlugin(LAEventDurationPropertyPlugin::create(trackTimer_));
        manager.registerPropertyPlugin(std::make_shared<LAReferrerTitlePropertyPlugin>());
        manager.registerPropertyPlugin(std::make_shared<LAFirstDayPropertyPlugin>(readWriteQueue_));
        manager.registerPropertyPlugin(std::make_shared<LAModulePropertyPlugin>());
        if (sessionProperty_) manager.registerPropertyPlugin(LASessionPropertyPlugin::create(sessionProperty_));
    });
}

void LumenAnalyticsSDK::runOnSerialQueue(std::function<void()> work) { serialQueue_->async(std::move(work)); }

template <class F>
auto LumenAnalyticsSDK::readOnSerialQueue(F&& f) {
    return LADispatchSyncOrInlineResult(serialQueue_, std::forward<F>(f));
}

// ---- events ----------------------------------------------------------------------------------

void LumenAnalyticsSDK::track(const std::string& event) { track(event, std::nullopt); }

void LumenAnalyticsSDK::track(const std::string& event, const std::optional<platform::Value::Dictionary>& properties) {
    trackEventObject(std::make_shared<LACustomEventObject>(event), properties);
}

void LumenAnalyticsSDK::trackEventObject(const std::shared_ptr<LABaseEventObject>& eventObject,
                                         const std::optional<platform::Value::Dictionary>& properties) {
    if (!eventObject) return;
    auto name = eventObject->eventName();
    if (!eventObject->hybridH5() && name) {
        bool instant = false;
        if (const auto& instantEvents = configOptions_->instantEvents())
            for (const auto& instantEvent : *instantEvents)
                if (instantEvent == platform::Value(*name)) instant = true;
        eventObject->isInstantEvent = instant;
    }
    auto input = std::make_shared<LAFlowData>();
    input->setEventObject(eventObject);
    input->setIdentifier(identifier_);
    if (properties) input->setProperties(lumen_deepCopy(*properties));
    LAFlowManager::sharedInstance().startWithFlowID(lumenTrackFlowID, input);
    if (eventObject->isSignUp()) post("LumenAnalyticsTrackLoginNotification");
}

void LumenAnalyticsSDK::asyncTrackEventObject(const std::shared_ptr<LABaseEventObject>& eventObject,
                                              const std::optional<platform::Value::Dictionary>& properties) {
    trackEventObject(eventObject, properties);
}

void LumenAnalyticsSDK::flush() { flushAllEventRecords(); }

void LumenAnalyticsSDK::flushAllEventRecords() { flushAllEventRecordsWithCompletion(nullptr); }

void LumenAnalyticsSDK::flushAllEventRecordsWithCompletion(std::function<void()> completion) {
    auto cookie = getCookieWithDecode(false);
    auto instant = std::make_shared<LAFlowData>();
    instant->setCookie(cookie);
    instant->setIsInstantEvent(true);
    LAFlowManager::sharedInstance().startWithFlowID(
        lumenFlushFlowID, instant, [cookie, completion = std::move(completion)](const LAFlowDataPtr&) {
            auto ordinary = std::make_shared<LAFlowData>();
            ordinary->setCookie(cookie);
            ordinary->setIsInstantEvent(false);
            LAFlowManager::sharedInstance().startWithFlowID(lumenFlushFlowID, ordinary,
                                                            [completion](const LAFlowDataPtr&) {
                                                                if (completion) completion();
                                                            });
        });
}

void LumenAnalyticsSDK::deleteAll() {
    runOnSerialQueue([store = eventStore_] { store->deleteAllRecords(); });
}

void LumenAnalyticsSDK::trackEventCallback(TrackEventCallback callback) {
    if (!callback) return;
    LALogDebug("SDK have set trackEvent callBack");
    runOnSerialQueue([this, callback = std::move(callback)] {
        PLATFORM_CHECK_ON_QUEUE(serialQueue_);
        shared_.set(&Shared::trackEventCallback, callback);
    });
}

LumenAnalyticsSDK::TrackEventCallback LumenAnalyticsSDK::trackEventCallback() const {
    return shared_.get(&Shared::trackEventCallback);
}

LumenAnalyticsSDK::TrackEventCallback LumenAnalyticsSDK::trackEventCallbackWhileSwitchedOn() const {
    return isSwitchedOff() ? nullptr : trackEventCallback();
}

// ---- properties ------------------------------------------------------------------------------

void LumenAnalyticsSDK::registerSuperProperties(const platform::Value::Dictionary& properties) {
    runOnSerialQueue([properties] {
        if (auto plugin = LAPropertyPluginManager::sharedInstance().plugin<LASuperPropertyPlugin>())
            plugin->registerSuperProperties(properties);
    });
}

void LumenAnalyticsSDK::unregisterSuperProperty(const std::string& property) {
    runOnSerialQueue([property] {
        if (auto plugin = LAPropertyPluginManager::sharedInstance().plugin<LASuperPropertyPlugin>())
            plugin->unregisterSuperProperty(property);
    });
}

void LumenAnalyticsSDK::clearSuperProperties() {
    runOnSerialQueue([] {
        if (auto plugin = LAPropertyPluginManager::sharedInstance().plugin<LASuperPropertyPlugin>())
            plugin->clearSuperProperties();
    });
}

platform::Value::Dictionary LumenAnalyticsSDK::currentSuperProperties() {
    return readOnSerialQueue([] {
        return LAPropertyPluginManager::sharedInstance().currentPropertiesForPluginClasses(
            {LASuperPropertyPlugin::classObject()});
    });
}

void LumenAnalyticsSDK::registerDynamicSuperProperties(DynamicSuperProperties block) {
    LADynamicSuperPropertyPlugin::sharedDynamicSuperPropertyPlugin()->registerDynamicSuperPropertiesBlock(
        std::move(block));
}

platform::Value::Dictionary LumenAnalyticsSDK::getPresetProperties() {
    return readOnSerialQueue([] {
        return LAPropertyPluginManager::sharedInstance().currentPropertiesForPluginClasses(
            {LAPresetPropertyPlugin::classObject(), LADeviceIDPropertyPlugin::classObject(),
             LACarrierNamePropertyPlugin::classObject(), LANetworkInfoPropertyPlugin::classObject(),
             LAFirstDayPropertyPlugin::classObject(), LAAppVersionPropertyPlugin::classObject()});
    });
}

void LumenAnalyticsSDK::registerPropertyPlugin(const std::shared_ptr<LAPropertyPlugin>& plugin) {
    runOnSerialQueue([plugin] { LAPropertyPluginManager::sharedInstance().registerPropertyPlugin(plugin); });
}

void LumenAnalyticsSDK::unregisterPropertyPluginWithPluginClass(const platform::ClassPtr& pluginClass) {
    runOnSerialQueue([pluginClass] {
        LAPropertyPluginManager::sharedInstance().unregisterPropertyPluginWithPluginClass(pluginClass);
    });
}

void LumenAnalyticsSDK::registerLimitKeys(const platform::Value& keys) { LALimitKeyManager::registerLimitKeys(keys); }

// ---- settings --------------------------------------------------------------------------------

void LumenAnalyticsSDK::enableLog(bool enable) {
    configOptions_->setEnableLog(enable);
    LALog::sharedLog().setEnableLog(enable);
    if (enable) enableLoggers();
}

void LumenAnalyticsSDK::enableLoggers() {
    shared_.write([](Shared& shared) {
        if (shared.consoleLogger) return;
        shared.consoleLogger = LAConsoleLogger::create();
        LALog::sharedLog().addLogger(shared.consoleLogger);
    });
}

void LumenAnalyticsSDK::setServerUrl(const platform::Value& serverUrl) {
    if (!serverUrl.isNull() && !serverUrl.isString()) {
        LALogError(description() + " serverUrl must be NSString, please check the value!");
        return;
    }
    runOnSerialQueue([this, url = serverUrl.stringValue()] {
        PLATFORM_CHECK_ON_QUEUE(serialQueue_);
        configOptions_->setServerURL(url);
        post("LumenAnalyticsSetServerUrlNotification");
    });
}

void LumenAnalyticsSDK::setServerUrl(const platform::Value& serverUrl, bool isRequestRemoteConfig) {
    if (!serverUrl.isNull() && !serverUrl.isString()) {
        LALogError(description() + " serverUrl must be NSString, please check the value!");
        return;
    }
    runOnSerialQueue([this, url = serverUrl.stringValue(), isRequestRemoteConfig] {
        PLATFORM_CHECK_ON_QUEUE(serialQueue_);
        if (url != configOptions_->serverURL()) {
            configOptions_->setServerURL(url);
            post("LumenAnalyticsSetServerUrlNotification");
            LAModuleManager::sharedInstance()->updateServerURL(url);
        }
        if (isRequestRemoteConfig) LAModuleManager::sharedInstance()->retryRequestRemoteConfigWithForceUpdateFlag(true);
    });
}

std::string LumenAnalyticsSDK::serverUrl() const { return configOptions_->serverURL(); }

// The flush settings are atomics in the options; they need no lock here.
std::int64_t LumenAnalyticsSDK::flushInterval() { return configOptions_->flushInterval(); }

void LumenAnalyticsSDK::setFlushInterval(std::int64_t milliseconds) {
    configOptions_->setFlushInterval(milliseconds);
    flush();
    stopFlushTimer();
    startFlushTimer();
}

std::int64_t LumenAnalyticsSDK::flushBulkSize() { return configOptions_->flushBulkSize(); }

void LumenAnalyticsSDK::setFlushBulkSize(std::int64_t size) { configOptions_->setFlushBulkSize(size); }

std::int64_t LumenAnalyticsSDK::maxCacheSize() { return configOptions_->maxCacheSize(); }

void LumenAnalyticsSDK::setMaxCacheSize(std::int64_t size) { configOptions_->setMaxCacheSize(size); }

void LumenAnalyticsSDK::setFlushNetworkPolicy(std::int64_t policy) { configOptions_->setFlushNetworkPolicy(policy); }

std::int64_t LumenAnalyticsSDK::debugMode() const { return configOptions_->debugMode(); }
void LumenAnalyticsSDK::setDebugMode(std::int64_t mode) { configOptions_->setDebugMode(mode); }

// ---- flush timer and lifecycle ---------------------------------------------------------------

void LumenAnalyticsSDK::startFlushTimer() {
    LALogDebug("starting flush timer.");
    std::weak_ptr<LumenAnalyticsSDK> weak = std::static_pointer_cast<LumenAnalyticsSDK>(shared_from_this());
    platform::DispatchQueue::main()->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->isFlushTimerRunning()) return;
        if (!LAApplication::isAppExtension() && self->appLifecycle_->state() != LAAppLifecycleStateStart) return;
        if (LAModuleManager::sharedInstance()->isDisableSDK()) return;
        auto interval = self->flushInterval();
        if (interval <= 0) return;
        auto timer =
            platform::Timer::scheduledTimer(static_cast<double>(interval) / 1000.0, true, [weak](platform::Timer&) {
                if (auto target = weak.lock()) target->flush();
            });
        self->shared_.set(&Shared::timer, timer);
    });
}

void LumenAnalyticsSDK::stopFlushTimer() {
    std::weak_ptr<LumenAnalyticsSDK> weak = std::static_pointer_cast<LumenAnalyticsSDK>(shared_from_this());
    platform::DispatchQueue::main()->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        auto timer = self->shared_.write([](Shared& shared) { return std::exchange(shared.timer, nullptr); });
        if (timer) timer->invalidate();
    });
}

bool LumenAnalyticsSDK::isFlushTimerRunning() const {
    return shared_.read([](const Shared& shared) { return shared.timer && shared.timer->isValid(); });
}

std::optional<double> LumenAnalyticsSDK::flushTimerInterval() const {
    return shared_.read([](const Shared& shared) -> std::optional<double> {
        if (!shared.timer || !shared.timer->isValid()) return std::nullopt;
        return shared.timer->timeInterval();
    });
}

void LumenAnalyticsSDK::addAppLifecycleObservers() {
    if (configOptions_->disableSDK() || LAApplication::isAppExtension()) return;
    auto center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<LumenAnalyticsSDK> weak = std::static_pointer_cast<LumenAnalyticsSDK>(shared_from_this());
    center->addObserver(
        this,
        [weak](const platform::Notification& n) {
            if (auto self = weak.lock()) self->appLifecycleStateWillChange(n);
        },
        std::string(kLAAppLifecycleStateWillChangeNotification));
    center->addObserver(
        this,
        [weak](const platform::Notification& n) {
            if (auto self = weak.lock()) self->appLifecycleStateDidChange(n);
        },
        std::string(kLAAppLifecycleStateDidChangeNotification));
}

void LumenAnalyticsSDK::removeObservers() { platform::NotificationCenter::defaultCenter()->removeObserver(this); }

void LumenAnalyticsSDK::appLifecycleStateWillChange(const platform::Notification& notification) {
    auto newState = stateOf(notification, kLAAppLifecycleNewStateKey);
    auto oldState = stateOf(notification, kLAAppLifecycleOldStateKey);
    if (newState == LAAppLifecycleStateStart && oldState != LAAppLifecycleStateInit) {
        auto uptime = getSystemUpTime();
        runOnSerialQueue([timer = trackTimer_, uptime] { timer->resumeAllEventTimers(uptime); });
        return;
    }
    if (newState == LAAppLifecycleStateEnd) {
        LAModuleManager::sharedInstance()->clearUtmProperties();
        stopFlushTimer();
        auto uptime = getSystemUpTime();
        runOnSerialQueue([timer = trackTimer_, uptime] { timer->pauseAllEventTimers(uptime); });
        LAReferrerManager::sharedInstance().clearReferrer();
    }
}

void LumenAnalyticsSDK::appLifecycleStateDidChange(const platform::Notification& notification) {
    switch (stateOf(notification, kLAAppLifecycleNewStateKey)) {
        case LAAppLifecycleStateTerminate: drainSerialQueueBeforeExit(); break;
        case LAAppLifecycleStateEnd:
            runOnSerialQueue([this] {
                PLATFORM_CHECK_ON_QUEUE(serialQueue_);
                flushAllEventRecords();
            });
            break;
        case LAAppLifecycleStateStart: startFlushTimer(); break;
        default: break;
    }
}

// Everything queued before termination reaches the store first, and the key/value
// store's queued writes reach their files, but a queue stuck on a hung file must not keep
// the program from quitting: both waits share one bound.
void LumenAnalyticsSDK::drainSerialQueueBeforeExit() {
    const auto deadline = platform::DispatchTime::now() + terminationDrainSeconds;
    auto drainedBy = [deadline](const platform::DispatchQueuePtr& queue) {
        auto drained = platform::DispatchSemaphore::create(0);
        queue->async([drained] { drained->signal(); });
        return drained->wait(deadline) == platform::DispatchTimeoutResult::success;
    };
    if (!drainedBy(serialQueue_))
        LALogWarn("The serial queue did not drain before termination; events still queued are lost");
    else if (!drainedBy(LABaseStoreManager::serialQueue()))
        LALogWarn("The store's queue did not drain before termination; its last writes are lost");
}

std::optional<std::string> LumenAnalyticsSDK::addWebViewUserAgent() const {
    return shared_.get(&Shared::addWebViewUserAgent);
}

void LumenAnalyticsSDK::setAddWebViewUserAgent(std::optional<std::string> suffix) {
    shared_.set(&Shared::addWebViewUserAgent, std::move(suffix));
}

std::optional<std::string> LumenAnalyticsSDK::userAgent() const { return shared_.get(&Shared::userAgent); }

void LumenAnalyticsSDK::appendWebViewUserAgent() {
    auto suffix = addWebViewUserAgent();
    if (!suffix || LAModuleManager::sharedInstance()->isDisableSDK()) return;
    auto current = LACommonUtility::currentUserAgent();
    if (current && current->find(*suffix) != std::string::npos) return;
    auto agent = current.value_or("") + *suffix;
    shared_.set(&Shared::userAgent, agent);
    LACommonUtility::saveUserAgent(agent);
}

void LumenAnalyticsSDK::removeWebViewUserAgent() {
    auto suffix = addWebViewUserAgent();
    if (!suffix || suffix->empty()) return;
    auto current = LACommonUtility::currentUserAgent();
    if (!current || current->find(*suffix) == std::string::npos) return;
    std::string agent = *current;
    for (auto at = agent.find(*suffix); at != std::string::npos; at = agent.find(*suffix, at))
        agent.erase(at, suffix->size());
    shared_.set(&Shared::userAgent, agent);
    LACommonUtility::saveUserAgent(agent);
}

void LumenAnalyticsSDK::remoteConfigManagerModelChanged(const platform::Notification& notification) {
    try {
        if (!notification.object) return;
        bool disableDebugMode = notification.object->valueForKey("disableDebugMode").asBool().value_or(false);
        bool disableSDK = notification.object->valueForKey("disableSDK").asBool().value_or(false);
        if (disableDebugMode) configOptions_->setDebugMode(0);
        if (disableSDK) {
            stopFlushTimer();
            removeWebViewUserAgent();
            flush();
        } else {
            startFlushTimer();
            appendWebViewUserAgent();
        }
    } catch (const std::exception& e) {
        LALogError(description() + " error: " + e.what());
    }
}

// No remote-configuration module exists: nothing to observe.
void LumenAnalyticsSDK::addRemoteConfigObservers() { (void)configOptions_->disableSDK(); }

// ---- switching off and on --------------------------------------------------------------------

void LumenAnalyticsSDK::disableSDK() {
    auto self = sdkInstance();
    if (!self || self->configOptions_->disableSDK()) return;
    self->track("$AppDataTrackingClose");
    self->flush();
    self->clearTrackTimer();
    self->stopFlushTimer();
    self->removeObservers();
    self->removeWebViewUserAgent();
    LAReachability::sharedInstance()->stopMonitoring();
    LAModuleManager::sharedInstance()->disableAllModules();
    self->configOptions_->setDisableSDK(true);
    LAEventTrackerPluginManager::defaultManager().disableAllPlugins();
    LALogWarn("LumenAnalyticsSDK disabled");
    LALog::sharedLog().setEnableLog(false);
}

void LumenAnalyticsSDK::enableSDK() {
    auto self = sdkInstance();
    if (!self || !self->configOptions_->disableSDK()) return;
    self->configOptions_->setDisableSDK(false);
    LAReachability::sharedInstance()->startMonitoring();
    self->addRemoteConfigObservers();
    if (self->configOptions_->enableLog()) self->enableLog(true);
    LAModuleManager::startWithConfigOptions(self->configOptions_);
    self->addAppLifecycleObservers();
    self->appendWebViewUserAgent();
    self->startFlushTimer();
    LAEventTrackerPluginManager::defaultManager().enableAllPlugins();
    LALogInfo("LumenAnalyticsSDK enabled");
}

}  // namespace LumenAnalyticsSDK
