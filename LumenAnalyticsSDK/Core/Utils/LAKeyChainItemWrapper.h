// Short texts kept as generic-password keychain items, addressed by account, service
// and optional access group (empty ones are left out of queries). The client's one
// item is the device identifier, account and service "com.lumen.analytics.udid".
#pragma once
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

inline constexpr const char* kLAUdidAccount = "com.lumen.analytics.udid";

class LAKeyChainItemWrapper {
public:
    static std::optional<std::string> laUdid();
    // The identifier when it was saved, else none.
    static std::optional<std::string> saveUdid(const std::string& udid);

    // Adds the item, or updates the data of the one found.
    static bool saveOrUpdatePassword(const std::string& password, const std::string& account,
                                     const std::string& service, const std::string& accessGroup = {});
    // The item's attributes with its data as text under the data key; empty when none.
    static platform::Value::Dictionary fetchPasswordWithAccount(const std::string& account, const std::string& service,
                                                                const std::string& accessGroup = {});
    // Deletes every matching item; true when the keychain reports success.
    static bool deletePasswordWithAccount(const std::string& account, const std::string& service,
                                          const std::string& accessGroup = {});
};

}  // namespace LumenAnalyticsSDK
