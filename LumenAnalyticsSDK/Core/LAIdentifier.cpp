// Loading, checking and changing the analytics user's ids and identities.
#include "LumenAnalyticsSDK/Core/LAIdentifier.h"

#include <fstream>
#include <functional>
#include <mutex>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAPropertyValue.h"
#include "platform/base/Data.h"
#include "platform/base/NoDestructor.h"
#include "platform/files/NotificationCenter.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/UTF16.h"
#include "platform/foundation/UUID.h"

namespace LumenAnalyticsSDK {

namespace {

constexpr const char* kDistinctIDKey = "distinct_id";
constexpr const char* kLoginIDKey = "login_id";
constexpr const char* kLoginIDKeyKey = "com.lumen.loginidkey";
constexpr const char* kIdentitiesKey = "com.lumen.identities";
constexpr const char* kIdentitiesPrefix = "Base64:";
constexpr const char* kFallbackDeviceIDKey = "com.lumen.analytics.fallback_device_id";

LAStoreManager& store() { return LAStoreManager::sharedInstance(); }

// Text kept under `key`; a readable value of another kind is dropped with one line.
std::optional<std::string> storedString(const char* key, const std::string& name) {
    auto value = store().objectForKey(key);
    if (!value.isNull() && !value.isString()) LALogError(name + " must be string");
    if (!value.isString() || value.asString()->empty()) return std::nullopt;
    return *value.asString();
}

std::size_t utf16Length(const std::string& text) { return platform::utf16Count(text); }

// A stored id goes through the checks a caller's id goes through: anything but a
// non-empty string is refused with its error line, an over-long one is kept with a warning.
std::optional<std::string> checkedId(const platform::Value& value, const std::string& name) {
    if (value.isNull()) return std::nullopt;
    if (!value.isString()) {
        LALogError(name + " must be string");
        return std::nullopt;
    }
    const auto& id = *value.asString();
    if (id.empty()) {
        LALogError(name + " is empty");
        return std::nullopt;
    }
    if (utf16Length(id) > kLAPropertyValueMaxLength)
        LALogWarn(name + ": " + id + "'s length is longer than " + std::to_string(kLAPropertyValueMaxLength));
    return id;
}

std::optional<std::string> storedId(const char* key, const std::string& name) {
    return checkedId(store().objectForKey(key), name);
}

std::optional<std::string> stringOf(const platform::Value& value) {
    return value.isString() ? std::optional<std::string>(*value.asString()) : std::nullopt;
}

std::string newUUIDText() { return platform::UUID().uuidString(); }

}  // namespace

std::shared_ptr<LAIdentifier> LAIdentifier::create(platform::DispatchQueuePtr queue) {
    auto identifier = std::make_shared<LAIdentifier>(std::move(queue));
    std::weak_ptr<LAIdentifier> weak = identifier;
    identifier->queue_->async([weak] {
        if (auto self = weak.lock()) self->load();
    });
    return identifier;
}

template <class F>
auto LAIdentifier::read(F&& f) const {
    return LADispatchSyncOrInlineResult(queue_, [&] { return f(state_); });
}

void LAIdentifier::change(std::function<void(State&)> block) {
    std::weak_ptr<LAIdentifier> weak = weak_from_this();
    queue_->async([weak, block = std::move(block)] {
        if (auto self = weak.lock()) block(self->state_);
    });
}

// ---- loading ----------------------------------------------------------------------------

void LAIdentifier::load() {
    auto& state = state_;
    // The login-id key.
    auto loginKey = storedString(kLoginIDKeyKey, "Login id key");
    if (!loginKey) {
        loginKey = LAIdentityKeyLoginID;
        store().setObject(*loginKey, kLoginIDKeyKey);
    }
    // The identities, reconciled with the stored login.
    auto storedIdentities = store().objectForKey(kIdentitiesKey);
    if (!storedIdentities.isNull() && !storedIdentities.isString()) LALogError("Identities must be string");
    auto identities = decodeIdentities(storedIdentities).value_or(platform::Value::Dictionary{});
    if (!identities.contains(LAIdentityKeyMacSerialID) && !identities.contains(LAIdentityKeyMacUUID)) {
        if (auto serial = serialNumber()) identities[LAIdentityKeyMacSerialID] = *serial;
        else identities[LAIdentityKeyMacUUID] = fallbackDeviceID();
    }
    auto storedLogin = storedId(kLoginIDKey, "LoginId");
    auto storedKey = stringOf(store().objectForKey(kLoginIDKeyKey));
    const platform::Value* bound = storedKey && identities.contains(*storedKey) ? &identities[*storedKey] : nullptr;
    if (!storedLogin) {
        if (bound) identities = deviceEntries(identities);
        store().removeObjectForKey(kLoginIDKeyKey);
    } else if (!bound) {
        identities = deviceEntries(identities);
        identities[*loginKey] = *storedLogin;
        store().setObject(*loginKey, kLoginIDKeyKey);
    } else if (stringOf(*bound) != storedLogin) {
        auto key = *storedKey;
        identities = deviceEntries(identities);
        identities[key] = *storedLogin;
    }
    identities.erase(LAIdentityKeyLegacyMacSerialID);
    archiveIdentities(identities);
    state.identities = std::move(identities);
    state.loginIDKey = *loginKey;

    // The anonymous id.
    auto anonymous = storedId(kDistinctIDKey, "AnonymousId");
    if (!anonymous) {
        anonymous = hardwareID();
        store().setObject(*anonymous, kDistinctIDKey);
    }
    state.anonymousId = anonymous;
    state.originalLoginId = storedLogin;
    state.loginId = loginIdFor(state.loginIDKey, storedLogin);
}

std::optional<std::string> LAIdentifier::loginIdFor(const std::string& key, const std::optional<std::string>& value) {
    if (!value || value->empty()) return std::nullopt;
    if (key == LAIdentityKeyLoginID) return value;
    return key + "+" + *value;
}

platform::Value::Dictionary LAIdentifier::deviceEntries(const platform::Value::Dictionary& identities) {
    platform::Value::Dictionary devices;
    for (const char* key : {LAIdentityKeyMacSerialID, LAIdentityKeyMacUUID}) {
        auto found = identities.find(key);
        if (found != identities.end()) devices[key] = found->second;
    }
    return devices;
}

std::optional<platform::Value::Dictionary> LAIdentifier::decodeIdentities(const platform::Value& stored) {
    const auto* text = stored.asString();
    if (!text || text->rfind(kIdentitiesPrefix, 0) != 0) return std::nullopt;
    auto data = platform::Data::fromBase64IgnoringUnknownCharacters(
        text->substr(std::char_traits<char>::length(kIdentitiesPrefix)));
    if (!data) return std::nullopt;
    auto parsed = platform::JSONSerialization::jsonObject(*data, platform::JSONReadingOptions::mutableContainers);
    if (!parsed.isSuccess()) return std::nullopt;
    if (const auto* dictionary = parsed.value().asDictionary()) return *dictionary;
    return std::nullopt;
}

void LAIdentifier::archiveIdentities(const platform::Value::Dictionary& identities) {
    auto json =
        platform::JSONSerialization::data(platform::Value(identities), platform::JSONWritingOptions::prettyPrinted);
    if (!json.isSuccess()) {
        // The stored identities stay as they were.
        LALogError(json.error()->localizedDescription());
        return;
    }
    store().setObject(std::string(kIdentitiesPrefix) + json.value().base64EncodedString(), kIdentitiesKey);
}

// ---- reading ----------------------------------------------------------------------------

std::optional<std::string> LAIdentifier::loginId() const {
    return read([](const State& s) { return s.loginId; });
}
std::optional<std::string> LAIdentifier::originalLoginId() const {
    return read([](const State& s) { return s.originalLoginId; });
}
std::string LAIdentifier::loginIDKey() const {
    return read([](const State& s) { return s.loginIDKey; });
}
platform::Value::Dictionary LAIdentifier::identities() const {
    return read([](const State& s) { return s.identities; });
}
std::optional<platform::Value::Dictionary> LAIdentifier::removedIdentity() const {
    return read([](const State& s) { return s.removedIdentity; });
}

std::string LAIdentifier::anonymousId() {
    if (read([](const State& s) { return !s.anonymousId || s.anonymousId->empty(); })) resetAnonymousId();
    return read([](const State& s) { return s.anonymousId.value_or(""); });
}

std::string LAIdentifier::distinctId() {
    auto login = loginId();
    if (login && !login->empty()) return *login;
    return anonymousId();
}

// ---- the anonymous id -------------------------------------------------------------------

bool LAIdentifier::identify(const platform::Value& anonymousId) {
    if (!anonymousId.isString()) {
        LALogError("AnonymousId must be string");
        return false;
    }
    const auto& id = *anonymousId.asString();
    if (id.empty()) {
        LALogError("AnonymousId is empty");
        return false;
    }
    if (utf16Length(id) > kLAPropertyValueMaxLength)
        LALogWarn("AnonymousId: " + id + "'s length is longer than " + std::to_string(kLAPropertyValueMaxLength));
    if (read([](const State& s) { return s.anonymousId; }) == id) return false;
    change([id](State& s) {
        s.anonymousId = id;
        store().setObject(id, kDistinctIDKey);
    });
    return true;
}

void LAIdentifier::resetAnonymousId() {
    // Synchronous (or inline on the queue), so that a read right after sees an id.
    LADispatchSyncOrInline(queue_, [this] {
        state_.anonymousId = hardwareID();
        store().setObject(*state_.anonymousId, kDistinctIDKey);
    });
}

void LAIdentifier::resetAnonymousIdentity(const std::optional<std::string>& anonymousId) {
    auto login = loginId();
    if (login && !login->empty()) {
        LALogError("you should not use this function when login");
        return;
    }
    std::string id = anonymousId && !anonymousId->empty() ? *anonymousId : newUUIDText();
    change([id](State& s) {
        s.anonymousId = id;
        store().setObject(id, kDistinctIDKey);
        for (const char* key : {LAIdentityKeyMacSerialID, LAIdentityKeyMacUUID})
            if (s.identities.contains(key)) s.identities[key] = id;
        archiveIdentities(s.identities);
        platform::NotificationCenter::defaultCenter()->post("LumenAnalyticsTrackResetAnonymousIdNotification", nullptr);
    });
}

// ---- login ------------------------------------------------------------------------------

bool LAIdentifier::isValidLoginIDKey(const platform::Value& key) {
    auto error = LAValidator::validKey(key);
    if (error) {
        LALogError(error->localizedDescription());
        if (error->code() != LAValidatorErrorOverflow) return false;
    }
    const auto& text = *key.asString();
    if (isDeviceIDKey(text) || isAnonymousIDKey(text)) {
        LALogError("LoginIDKey [ " + text + " ] is invalid");
        return false;
    }
    return true;
}

bool LAIdentifier::isValidLoginId(const platform::Value& loginId) {
    if (!loginId.isString()) {
        LALogError("LoginId must be string");
        return false;
    }
    const auto& id = *loginId.asString();
    if (id.empty()) {
        LALogError("LoginId is empty");
        return false;
    }
    if (utf16Length(id) > kLAPropertyValueMaxLength)
        LALogWarn("LoginId: " + id + "'s length is longer than " + std::to_string(kLAPropertyValueMaxLength));
    return id != anonymousId();
}

bool LAIdentifier::isValidForLogin(const platform::Value& key, const platform::Value& value) {
    if (!isValidLoginIDKey(key) || !isValidLoginId(value)) return false;
    bool sameLogin =
        read([&](const State& s) { return *key.asString() == s.loginIDKey && s.originalLoginId == *value.asString(); });
    return !sameLogin;
}

void LAIdentifier::loginWithKey(const std::string& key, const std::string& loginId) {
    updateLoginInfo(key, loginId);
    bindIdentity(key, loginId);
}

void LAIdentifier::updateLoginInfo(const std::string& key, const std::string& loginId) {
    change([key, loginId](State& s) {
        s.loginId = loginIdFor(key, loginId);
        s.originalLoginId = loginId;
        s.loginIDKey = key;
        store().setObject(loginId, kLoginIDKey);
        store().setObject(key, kLoginIDKeyKey);
    });
}

void LAIdentifier::logout() {
    clearLoginInfo();
    resetIdentities();
}

void LAIdentifier::clearLoginInfo() {
    change([](State& s) {
        s.loginId.reset();
        s.originalLoginId.reset();
        s.loginIDKey = LAIdentityKeyLoginID;
        store().removeObjectForKey(kLoginIDKey);
        store().removeObjectForKey(kLoginIDKeyKey);
    });
}

void LAIdentifier::resetIdentities() {
    // Runs after any change queued before it, so it sees a logout's cleared login.
    change([](State& s) {
        auto identities = deviceEntries(s.identities);
        if (s.originalLoginId && !s.originalLoginId->empty()) identities[s.loginIDKey] = *s.originalLoginId;
        s.identities = identities;
        archiveIdentities(identities);
    });
}

void LAIdentifier::setIdentities(platform::Value::Dictionary identities) {
    change([identities = std::move(identities)](State& s) {
        s.identities = identities;
        archiveIdentities(identities);
    });
}

// ---- bind and unbind --------------------------------------------------------------------

bool LAIdentifier::isValidIdentity(const platform::Value& key, const platform::Value& value) {
    auto error = LAValidator::validKey(key);
    if (error) {
        LALogError(error->localizedDescription());
        if (error->code() != LAValidatorErrorOverflow) return false;
    }
    const auto& text = *key.asString();
    if (isAnonymousIDKey(text) || isLoginIDKey(text)) {
        LALogError("Key [ " + text + " ] is invalid");
        return false;
    }
    if (value.isNull()) {
        LALogError("bind or unbind value should not be nil");
        return false;
    }
    if (!value.isString()) {
        LALogError("bind or unbind value should be string");
        return false;
    }
    if (value.asString()->empty()) {
        LALogError("bind or unbind value should not be empty");
        return false;
    }
    // The property-value rule warns about a long value (from 8192 on); the pair is kept unchanged.
    platform::ErrorPtr ignored;
    lumen_propertyValueWithKey(value, key.stringValue(), ignored);
    return true;
}

namespace {
bool checkKeyIsText(const platform::Value& key) {
    if (!key.isString()) {
        LALogError("Key [" + key.stringValue() + "] must be string");
        return false;
    }
    if (key.asString()->empty()) {
        LALogError("Key is empty");
        return false;
    }
    return true;
}
}  // namespace

bool LAIdentifier::isValidForBind(const platform::Value& key, const platform::Value& value) {
    if (!checkKeyIsText(key)) return false;
    const auto& text = *key.asString();
    if (isDeviceIDKey(text) || isAnonymousIDKey(text) || isLoginIDKey(text) || text == loginIDKey()) {
        LALogError("Key [ " + text + " ] is invalid");
        return false;
    }
    return isValidIdentity(key, value);
}

bool LAIdentifier::isValidForUnbind(const platform::Value& key, const platform::Value& value) {
    return checkKeyIsText(key) && isValidIdentity(key, value);
}

void LAIdentifier::bindIdentity(const std::string& key, const std::string& value) {
    change([key, value](State& s) {
        s.identities[key] = value;
        archiveIdentities(s.identities);
    });
}

void LAIdentifier::unbindIdentity(const std::string& key, const std::string& value) {
    platform::Value::Dictionary removed{{key, value}};
    auto current = identities();
    auto bound = current.find(key);
    if (bound != current.end() && bound->second == platform::Value(value) && !isDeviceIDKey(key)) {
        if (key + "+" + value == loginId().value_or("")) clearLoginInfo();
        change([key, removed](State& s) {
            s.removedIdentity = removed;
            s.identities.erase(key);
            archiveIdentities(s.identities);
        });
        return;
    }
    change([removed](State& s) { s.removedIdentity = removed; });
}

// ---- what events carry ------------------------------------------------------------------

platform::Value::Dictionary LAIdentifier::identitiesWithEventType(std::uint64_t eventType) {
    if (eventType & 8u) {
        // The one exception to the queue rule: the flow's own queue takes the removed pair.
        auto removed = removedIdentity().value_or(platform::Value::Dictionary{});
        LADispatchSyncOrInline(queue_, [this] { state_.removedIdentity.reset(); });
        return removed;
    }
    auto current = identities();
    if (eventType & 2u) resetIdentities();
    return current;
}

platform::Value::Dictionary LAIdentifier::mergeH5Identities(const platform::Value::Dictionary& identities,
                                                            std::uint64_t eventType) {
    if (eventType & 8u) {
        if (identities.empty()) return {};
        const auto& [key, value] = *identities.begin();
        if (!isValidForUnbind(platform::Value(key), value)) return {};
        unbindIdentity(key, *value.asString());
        return identities;
    }
    auto merged = identities;
    merged.erase(LAIdentityKeyMacSerialID);
    merged.erase(LAIdentityKeyMacUUID);
    for (const auto& [key, value] : this->identities()) merged[key] = value;
    if ((eventType & 2u) && (identities.empty() || identities.contains(loginIDKey()))) resetIdentities();
    if (eventType & 4u) {
        auto kept = merged;
        kept.erase(LAIdentityKeyCookieID);
        setIdentities(std::move(kept));
    }
    return merged;
}

// ---- the machine ------------------------------------------------------------------------

bool LAIdentifier::isDeviceIDKey(const std::string& key) {
    return key == LAIdentityKeyMacSerialID || key == LAIdentityKeyMacUUID || key == LAIdentityKeyLegacyMacSerialID;
}

namespace {

std::optional<std::string> productSerial() {
    std::ifstream file("/sys/class/dmi/id/product_serial");
    std::string serial;
    if (!file || !std::getline(file, serial)) return std::nullopt;
    while (!serial.empty() && std::isspace(static_cast<unsigned char>(serial.back()))) serial.pop_back();
    // Firmware that does not know the serial fills the field with a placeholder.
    static const char* placeholders[] = {
        "", "0", "None", "Not Specified", "To Be Filled By O.E.M.", "System Serial Number", "Default string"};
    for (const char* placeholder : placeholders)
        if (serial == placeholder) return std::nullopt;
    return serial;
}

std::function<std::optional<std::string>()>& serialSource() {
    static platform::NoDestructor<std::function<std::optional<std::string>()>> source(
        productSerial);  // never destroyed
    return *source;
}

}  // namespace

std::optional<std::string> LAIdentifier::serialNumber() { return serialSource()(); }

void LAIdentifier::setSerialNumberSource(std::function<std::optional<std::string>()> source) {
    serialSource() = source ? std::move(source) : productSerial;
}

std::string LAIdentifier::hardwareID() {
    if (auto serial = serialNumber()) return *serial;
    LALogDebug("LAIdentifier error getting device identifier: falling back to uuid");
    return fallbackDeviceID();
}

// Made once and kept, so that a machine without a readable serial keeps one device id
// from launch to launch. The lock keeps two first callers of this process from making
// two; the store's exclusive add does the same for launches racing in other processes.
std::string LAIdentifier::fallbackDeviceID() {
    static std::mutex making;
    std::lock_guard lock(making);
    auto stored = store().objectForKey(kFallbackDeviceIDKey);
    if (auto kept = checkedId(stored, "Device id")) return *kept;
    auto made = newUUIDText();
    // With nothing stored, launches racing here each add theirs and only the first
    // succeeds; the others take the winner's.
    if (stored.isNull()) {
        if (store().addObject(made, kFallbackDeviceIDKey)) return made;
        auto winner = stringOf(store().objectForKey(kFallbackDeviceIDKey));
        if (winner && !winner->empty()) return *winner;
    }
    store().setObject(made, kFallbackDeviceIDKey);  // what stands there holds no id: replaced
    return made;
}

}  // namespace LumenAnalyticsSDK
