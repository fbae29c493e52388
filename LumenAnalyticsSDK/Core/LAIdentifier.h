// Who the analytics user is: an anonymous id for the device, an optional login id bound
// under a login-id key, and the identities every event carries. State changes run in
// order on the client's read/write queue; reads wait on that queue (or run inline on it).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"
#include "platform/dispatch/DispatchQueue.h"

namespace LumenAnalyticsSDK {

inline constexpr const char* LAIdentityKeyLoginID = "$identity_login_id";
inline constexpr const char* LAIdentityKeyAnonymousID = "$identity_anonymous_id";
inline constexpr const char* LAIdentityKeyCookieID = "$identity_cookie_id";
inline constexpr const char* LAIdentityKeyMacSerialID = "$identity_mac_serial_id";
inline constexpr const char* LAIdentityKeyMacUUID = "$identity_mac_uuid";
inline constexpr const char* LAIdentityKeyLegacyMacSerialID = "$mac_serial_id";

class LAIdentifier : public std::enable_shared_from_this<LAIdentifier> {
public:
    // Loads the stored identity on `queue` (asynchronously) and returns at once.
    static std::shared_ptr<LAIdentifier> create(platform::DispatchQueuePtr queue);

    std::optional<std::string> loginId() const;
    std::optional<std::string> originalLoginId() const;
    // Never empty once loaded: a missing id is reset to the hardware id first.
    std::string anonymousId();
    std::string loginIDKey() const;
    platform::Value::Dictionary identities() const;
    std::optional<platform::Value::Dictionary> removedIdentity() const;
    // The login id when there is one, else the anonymous id.
    std::string distinctId();

    // True when the anonymous id was changed.
    bool identify(const platform::Value& anonymousId);
    bool isValidForLogin(const platform::Value& key, const platform::Value& value);
    void loginWithKey(const std::string& key, const std::string& loginId);
    void logout();
    bool isValidForBind(const platform::Value& key, const platform::Value& value);
    bool isValidForUnbind(const platform::Value& key, const platform::Value& value);
    void bindIdentity(const std::string& key, const std::string& value);
    void unbindIdentity(const std::string& key, const std::string& value);
    void resetAnonymousId();
    void resetAnonymousIdentity(const std::optional<std::string>& anonymousId);

    // The identities an event of these type bits is to carry.
    platform::Value::Dictionary identitiesWithEventType(std::uint64_t eventType);
    platform::Value::Dictionary mergeH5Identities(const platform::Value::Dictionary& identities,
                                                  std::uint64_t eventType);

    // The machine's serial number, else the one UUID text this home keeps for the machine.
    static std::string hardwareID();
    // The DMI product serial when readable and meaningful; never a raw machine id.
    static std::optional<std::string> serialNumber();
    // Where serial numbers come from (none: the DMI product serial again).
    static void setSerialNumberSource(std::function<std::optional<std::string>()> source);

    static bool isDeviceIDKey(const std::string& key);
    static bool isAnonymousIDKey(const std::string& key) { return key == LAIdentityKeyAnonymousID; }
    static bool isLoginIDKey(const std::string& key) { return key == LAIdentityKeyLoginID; }

    const platform::DispatchQueuePtr& queue() const { return queue_; }

    explicit LAIdentifier(platform::DispatchQueuePtr queue) : queue_(std::move(queue)) {}

private:
    struct State {
        std::optional<std::string> loginId;
        std::optional<std::string> anonymousId;
        std::string loginIDKey = LAIdentityKeyLoginID;
        std::optional<std::string> originalLoginId;
        platform::Value::Dictionary identities;
        std::optional<platform::Value::Dictionary> removedIdentity;
    };

    void load();
    template <class F>
    auto read(F&& f) const;
    void change(std::function<void(State&)> block);

    bool isValidLoginId(const platform::Value& loginId);
    bool isValidLoginIDKey(const platform::Value& key);
    bool isValidIdentity(const platform::Value& key, const platform::Value& value);
    void updateLoginInfo(const std::string& key, const std::string& loginId);
    void clearLoginInfo();
    void resetIdentities();
    void setIdentities(platform::Value::Dictionary identities);
    static std::string fallbackDeviceID();
    static std::optional<std::string> loginIdFor(const std::string& key, const std::optional<std::string>& value);
    static std::optional<platform::Value::Dictionary> decodeIdentities(const platform::Value& stored);
    static void archiveIdentities(const platform::Value::Dictionary& identities);
    static platform::Value::Dictionary deviceEntries(const platform::Value::Dictionary& identities);

    platform::DispatchQueuePtr queue_;
    State state_;  // touched only on `queue_`
};

using LAIdentifierPtr = std::shared_ptr<LAIdentifier>;

}  // namespace LumenAnalyticsSDK
