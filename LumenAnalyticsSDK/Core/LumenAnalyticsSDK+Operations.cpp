// The facade's thin public operations: identity, profiles, push ids, items, event
// timers, events from web pages, URLs and cookies. Arguments are checked and event
// objects built on the caller's thread; changes run in order on the serial queue.
#include <algorithm>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAEventObjectFactory.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAItemEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAProfileEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"
#include "LumenAnalyticsSDK/Core/LAIdentifier.h"
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Network/LANetwork.h"
#include "LumenAnalyticsSDK/Core/Network/LAReachability.h"
#include "LumenAnalyticsSDK/Core/Tracker/LATrackTimer.h"
#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"
#include "platform/base/Data.h"
#include "platform/dispatch/CheckOnQueue.h"
#include "platform/files/NotificationCenter.h"
#include "platform/foundation/URL.h"

namespace LumenAnalyticsSDK {

namespace {

void post(const std::string& name) { platform::NotificationCenter::defaultCenter()->post(name, nullptr); }

bool hasLogin(const std::optional<std::string>& loginId) { return loginId && !loginId->empty(); }

}  // namespace

// ---- identity --------------------------------------------------------------------------------

void LumenAnalyticsSDK::trackIdentityEvent(const std::shared_ptr<LABaseEventObject>& eventObject,
                                           std::function<bool()> check, std::function<void()> change,
                                           const std::optional<platform::Value::Dictionary>& properties) {
    buildDynamicSuperProperties();
    runOnSerialQueue([this, eventObject, check = std::move(check), change = std::move(change), properties] {
        PLATFORM_CHECK_ON_QUEUE(serialQueue_);
        if (!check()) return;
        change();
        trackEventObject(eventObject, properties);
    });
}

void LumenAnalyticsSDK::login(const std::string& loginId) { login(loginId, std::nullopt); }

void LumenAnalyticsSDK::login(const std::string& loginId,
                              const std::optional<platform::Value::Dictionary>& properties) {
    loginWithKey(LAIdentityKeyLoginID, loginId, properties);
}

void LumenAnalyticsSDK::loginWithKey(const std::string& key, const std::string& loginId) {
    loginWithKey(key, loginId, std::nullopt);
}

void LumenAnalyticsSDK::loginWithKey(const std::string& key, const std::string& loginId,
                                     const std::optional<platform::Value::Dictionary>& properties) {
    auto id = identifier_;
    trackIdentityEvent(
        std::make_shared<LASignUpEventObject>("$SignUp"),
        [id, key, loginId] { return id->isValidForLogin(platform::Value(key), platform::Value(loginId)); },
        [id, key, loginId] { id->loginWithKey(key, loginId); }, properties);
}

void LumenAnalyticsSDK::logout() {
    runOnSerialQueue([id = identifier_] {
        bool wasLoggedIn = hasLogin(id->loginId());
        id->logout();
        if (wasLoggedIn) post("LumenAnalyticsTrackLogoutNotification");
    });
}

std::optional<std::string> LumenAnalyticsSDK::loginId() { return identifier_->loginId(); }
std::string LumenAnalyticsSDK::anonymousId() { return identifier_->anonymousId(); }
std::string LumenAnalyticsSDK::distinctId() { return identifier_->distinctId(); }
platform::Value::Dictionary LumenAnalyticsSDK::identities() { return identifier_->identities(); }

void LumenAnalyticsSDK::resetAnonymousId() {
    runOnSerialQueue([id = identifier_] {
        auto previous = id->anonymousId();
        id->resetAnonymousId();
        if (!hasLogin(id->loginId()) && id->anonymousId() != previous)
            post("LumenAnalyticsTrackResetAnonymousIdNotification");
    });
}

void LumenAnalyticsSDK::resetAnonymousIdentity(const platform::Value& anonymousId) {
    if (!anonymousId.isNull() && !anonymousId.isString()) {
        LALogError("anonymous identity should be string");
        return;
    }
    std::optional<std::string> value;
    if (anonymousId.isString()) value = *anonymousId.asString();
    runOnSerialQueue([id = identifier_, value] { id->resetAnonymousIdentity(value); });
}

void LumenAnalyticsSDK::identify(const std::string& anonymousId) {
    runOnSerialQueue([id = identifier_, anonymousId] {
        if (id->identify(platform::Value(anonymousId)) && !hasLogin(id->loginId()))
            post("LumenAnalyticsTrackIdentifyNotification");
    });
}

void LumenAnalyticsSDK::bind(const std::string& key, const std::string& value) {
    auto id = identifier_;
    trackIdentityEvent(
        std::make_shared<LABindEventObject>("$BindID"),
        [id, key, value] { return id->isValidForBind(platform::Value(key), platform::Value(value)); },
        [id, key, value] { id->bindIdentity(key, value); }, std::nullopt);
}

void LumenAnalyticsSDK::unbind(const std::string& key, const std::string& value) {
    auto id = identifier_;
    trackIdentityEvent(
        std::make_shared<LAUnbindEventObject>("$UnbindID"),
        [id, key, value] { return id->isValidForUnbind(platform::Value(key), platform::Value(value)); },
        [id, key, value] { id->unbindIdentity(key, value); }, std::nullopt);
}

// ---- profiles --------------------------------------------------------------------------------

void LumenAnalyticsSDK::profile(const std::string& type, const platform::Value::Dictionary& properties) {
    trackEventObject(std::make_shared<LAProfileEventObject>(type), properties);
}

void LumenAnalyticsSDK::set(const std::optional<platform::Value::Dictionary>& profile) {
    if (profile) this->profile("profile_set", *profile);
}

void LumenAnalyticsSDK::setOnce(const std::optional<platform::Value::Dictionary>& profile) {
    if (profile) this->profile("profile_set_once", *profile);
}

void LumenAnalyticsSDK::set(const std::string& profile, const platform::Value& content) {
    if (!content.isNull()) this->profile("profile_set", {{profile, content}});
}

void LumenAnalyticsSDK::setOnce(const std::string& profile, const platform::Value& content) {
    if (!content.isNull()) this->profile("profile_set_once", {{profile, content}});
}

void LumenAnalyticsSDK::unset(const std::string& profile) { this->profile("profile_unset", {{profile, ""}}); }

void LumenAnalyticsSDK::increment(const std::string& profile, const platform::Value& count) {
    if (count.isNull()) return;
    trackEventObject(std::make_shared<LAProfileIncrementEventObject>("profile_increment"),
                     platform::Value::Dictionary{{profile, count}});
}

void LumenAnalyticsSDK::increment(const std::optional<platform::Value::Dictionary>& profile) {
    if (profile) trackEventObject(std::make_shared<LAProfileIncrementEventObject>("profile_increment"), *profile);
}

void LumenAnalyticsSDK::append(const std::string& profile, const platform::Value& content) {
    if (profile.empty() || content.isNull()) {
        LALogWarn("content and profile cannot be empty, please check the value");
        return;
    }
    platform::Value::Set set;
    if (const auto* array = content.asArray()) {
        for (const auto& element : *array) set.insert(element);
    } else if (const auto* given = content.asSet()) {
        set = *given;
    } else {
        LALogWarn("content values should be NSArray or NSSet class, but current value: " + lumen_toString(content) +
                  ", with invalid type: " + content.typeName());
        return;
    }
    trackEventObject(std::make_shared<LAProfileAppendEventObject>("profile_append"),
                     platform::Value::Dictionary{{profile, platform::Value(std::move(set))}});
}

void LumenAnalyticsSDK::deleteUser() { profile("profile_delete", {}); }

void LumenAnalyticsSDK::profilePushKey(const std::string& pushKey, const std::string& pushId) {
    if (pushKey.empty() || pushId.empty()) return;
    auto storeKey = "la_" + pushKey;
    auto value = distinctId() + "_" + pushId;
    auto& store = LAStoreManager::sharedInstance();
    if (store.objectForKey(storeKey) == platform::Value(value)) return;
    set(platform::Value::Dictionary{{pushKey, pushId}});
    store.setObject(value, storeKey);
}

void LumenAnalyticsSDK::profileUnsetPushKey(const std::string& pushKey) {
    auto storeKey = "la_" + pushKey;
    auto& store = LAStoreManager::sharedInstance();
    auto stored = store.objectForKey(storeKey);
    if (!stored.isString() || stored.asString()->rfind(distinctId(), 0) != 0) return;
    unset(pushKey);
    store.removeObjectForKey(storeKey);
}

// ---- items -----------------------------------------------------------------------------------

void LumenAnalyticsSDK::itemSetWithType(const std::string& itemType, const std::string& itemId,
                                        const std::optional<platform::Value::Dictionary>& properties) {
    auto event = std::make_shared<LAItemEventObject>("item_set", itemType, itemId);
    runOnSerialQueue([this, event, properties] {
        PLATFORM_CHECK_ON_QUEUE(serialQueue_);
        trackEventObject(event, properties);
    });
}

void LumenAnalyticsSDK::itemDeleteWithType(const std::string& itemType, const std::string& itemId) {
    auto event = std::make_shared<LAItemEventObject>("item_delete", itemType, itemId);
    runOnSerialQueue([this, event] {
        PLATFORM_CHECK_ON_QUEUE(serialQueue_);
        trackEventObject(event, std::nullopt);
    });
}

// ---- event timers ----------------------------------------------------------------------------

bool LumenAnalyticsSDK::checkEventName(const std::string& eventName) {
    auto error = LAValidator::validKey(std::string_view(eventName));
    if (!error) return true;
    LALogError(error->localizedDescription());
    return error->code() == LAValidatorErrorInvalid || error->code() == LAValidatorErrorOverflow;
}

std::optional<std::string> LumenAnalyticsSDK::trackTimerStart(const std::string& event) {
    if (!checkEventName(event)) return std::nullopt;
    auto eventId = LATrackTimer::generateEventIdByEventName(event);
    auto uptime = getSystemUpTime();
    runOnSerialQueue([timer = trackTimer_, eventId, uptime] { timer->trackTimerStart(eventId, uptime); });
    return eventId;
}

void LumenAnalyticsSDK::trackTimer(const std::string& event) { trackTimer(event, 0); }

void LumenAnalyticsSDK::trackTimer(const std::string& event, int timeUnit) {
    auto uptime = getSystemUpTime();
    runOnSerialQueue(
        [timer = trackTimer_, event, timeUnit, uptime] { timer->trackTimerStart(event, timeUnit, uptime); });
}

void LumenAnalyticsSDK::trackTimerPause(const std::string& event) {
    if (!checkEventName(event)) return;
    auto uptime = getSystemUpTime();
    runOnSerialQueue([timer = trackTimer_, event, uptime] { timer->trackTimerPause(event, uptime); });
}

void LumenAnalyticsSDK::trackTimerResume(const std::string& event) {
    if (!checkEventName(event)) return;
    auto uptime = getSystemUpTime();
    runOnSerialQueue([timer = trackTimer_, event, uptime] { timer->trackTimerResume(event, uptime); });
}

void LumenAnalyticsSDK::removeTimer(const std::string& event) {
    if (!checkEventName(event)) return;
    runOnSerialQueue([timer = trackTimer_, event] { timer->trackTimerRemove(event); });
}

void LumenAnalyticsSDK::clearTrackTimer() {
    runOnSerialQueue([timer = trackTimer_] { timer->clearAllEventTimers(); });
}

void LumenAnalyticsSDK::trackTimerEnd(const std::string& event) { trackTimerEnd(event, std::nullopt); }

void LumenAnalyticsSDK::trackTimerEnd(const std::string& event,
                                      const std::optional<platform::Value::Dictionary>& properties) {
    trackEventObject(std::make_shared<LACustomEventObject>(event), properties);
}

// ---- web pages, URLs and cookies -------------------------------------------------------------

void LumenAnalyticsSDK::trackFromH5WithEvent(const std::optional<std::string>& eventInfo) {
    trackFromH5WithEvent(eventInfo, false);
}

void LumenAnalyticsSDK::trackFromH5WithEvent(const std::optional<std::string>& eventInfo, bool enableVerify) {
    if (!eventInfo) return;
    auto parsed = LAJSONUtil::JSONObjectWithString(eventInfo, platform::JSONReadingOptions::mutableContainers);
    if (!parsed || !parsed->isDictionary()) return;
    const auto& h5Event = *parsed->asDictionary();
    if (enableVerify) {
        auto serverURL = h5Event.contains("server_url") ? h5Event.at("server_url").stringValue() : std::string();
        if (!network_->isSameProjectWithURLString(serverURL)) {
            LALogError("Server_url verified faild, Web event lost! Web server_url = '" + serverURL + "'");
            return;
        }
    }
    auto eventObject = LAEventObjectFactory::eventObjectWithH5Event(h5Event);
    if (!eventObject) return;
    runOnSerialQueue([this, eventObject, h5Event] {
        PLATFORM_CHECK_ON_QUEUE(serialQueue_);
        platform::Value visual;
        auto properties = h5Event.find("properties");
        if (properties != h5Event.end() && properties->second.isDictionary() &&
            properties->second.contains("lumen_app_visual_properties"))
            visual = properties->second["lumen_app_visual_properties"];
        if (visual.isNull() || eventObject->event() != "$WebClick") {
            trackFromH5WithEventObject(eventObject, std::nullopt);
            return;
        }
        platform::Value configs;
        if (auto bytes = platform::Data::fromBase64IgnoringUnknownCharacters(visual.stringValue()))
            configs = LAJSONUtil::JSONObjectWithData(bytes).value_or(platform::Value());
        LAModuleManager::sharedInstance()->queryVisualPropertiesWithConfigs(
            configs, [this, eventObject](std::optional<platform::Value::Dictionary> visualProperties) {
                runOnSerialQueue([this, eventObject, visualProperties] {
                    PLATFORM_CHECK_ON_QUEUE(serialQueue_);
                    trackFromH5WithEventObject(eventObject, visualProperties);
                });
            });
    });
}

void LumenAnalyticsSDK::trackFromH5WithEventObject(const std::shared_ptr<LABaseEventObject>& eventObject,
                                                   const std::optional<platform::Value::Dictionary>& properties) {
    trackEventObject(eventObject, properties);
}

bool LumenAnalyticsSDK::canHandleURL(const platform::URL& url) {
    return LAModuleManager::sharedInstance()->canHandleURL(url);
}

bool LumenAnalyticsSDK::handleSchemeUrl(const std::optional<platform::URL>& url) {
    if (!url) return false;
    LAReachability::sharedInstance()->startMonitoring();
    return LAModuleManager::sharedInstance()->handleURL(*url);
}

void LumenAnalyticsSDK::setCookie(const std::string& cookie, bool withEncode) {
    network_->setCookie(cookie, withEncode);
}

std::string LumenAnalyticsSDK::getCookieWithDecode(bool decode) const {
    return network_ ? network_->cookieWithDecoded(decode) : std::string();
}

}  // namespace LumenAnalyticsSDK
