// Generic-password keychain items of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/LAKeyChainItemWrapper.h"

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/security/SecItem.h"

namespace LumenAnalyticsSDK {
namespace {

void addAddress(platform::Value::Dictionary& query, const std::string& account, const std::string& service,
                const std::string& accessGroup) {
    if (!account.empty()) query[platform::kSecAttrAccount] = platform::Value(account);
    if (!service.empty()) query[platform::kSecAttrService] = platform::Value(service);
    if (!accessGroup.empty()) query[platform::kSecAttrAccessGroup] = platform::Value(accessGroup);
}

platform::Value::Dictionary lookupQuery(const std::string& account, const std::string& service,
                                        const std::string& accessGroup) {
    platform::Value::Dictionary query{
        {platform::kSecClass, platform::Value(platform::kSecClassGenericPassword)},
        {platform::kSecAttrAccessible, platform::Value(platform::kSecAttrAccessibleAfterFirstUnlock)},
        {platform::kSecReturnData, platform::Value(true)},
        {platform::kSecReturnAttributes, platform::Value(true)},
        {platform::kSecMatchLimit, platform::Value(platform::kSecMatchLimitOne)},
    };
    addAddress(query, account, service, accessGroup);
    return query;
}

}  // namespace

std::optional<std::string> LAKeyChainItemWrapper::laUdid() {
    auto item = fetchPasswordWithAccount(kLAUdidAccount, kLAUdidAccount);
    auto found = item.find(platform::kSecValueData);
    if (found == item.end() || !found->second.isString()) return std::nullopt;
    return *found->second.asString();
}

std::optional<std::string> LAKeyChainItemWrapper::saveUdid(const std::string& udid) {
    if (!saveOrUpdatePassword(udid, kLAUdidAccount, kLAUdidAccount)) return std::nullopt;
    return udid;
}

bool LAKeyChainItemWrapper::saveOrUpdatePassword(const std::string& password, const std::string& account,
                                                 const std::string& service, const std::string& accessGroup) {
    auto query = lookupQuery(account, service, accessGroup);
    platform::Value found;
    platform::OSStatus status = platform::SecItemCopyMatching(query, &found);
    platform::Data data = platform::Data::fromString(password);
    if (status == platform::errSecItemNotFound) {
        // The added item takes the keychain's default accessibility.
        for (const char* key : {platform::kSecMatchLimit, platform::kSecReturnAttributes, platform::kSecReturnData,
                                platform::kSecAttrAccessible})
            query.erase(key);
        query[platform::kSecValueData] = platform::Value(data);
        status = platform::SecItemAdd(query);
        LALogDebug("SecItemAdd result = " + std::to_string(status));
        return status == platform::errSecSuccess;
    }
    if (status != platform::errSecSuccess || !found.isDictionary()) return false;
    platform::Value::Dictionary updateQuery = *found.asDictionary();
    updateQuery.erase(platform::kSecValueData);
    updateQuery[platform::kSecClass] = platform::Value(platform::kSecClassGenericPassword);
    status = platform::SecItemUpdate(updateQuery, {{platform::kSecValueData, platform::Value(data)}});
    LALogDebug("SecItemUpdate result = " + std::to_string(status));
    return status == platform::errSecSuccess;
}

platform::Value::Dictionary LAKeyChainItemWrapper::fetchPasswordWithAccount(const std::string& account,
                                                                            const std::string& service,
                                                                            const std::string& accessGroup) {
    platform::Value found;
    if (platform::SecItemCopyMatching(lookupQuery(account, service, accessGroup), &found) != platform::errSecSuccess ||
        !found.isDictionary())
        return {};
    platform::Value::Dictionary item = *found.asDictionary();
    if (auto data = item.find(platform::kSecValueData); data != item.end()) {
        auto text = data->second.isData() ? data->second.asData()->utf8String() : std::nullopt;
        data->second = text ? platform::Value(*text) : platform::Value();
    }
    return item;
}

bool LAKeyChainItemWrapper::deletePasswordWithAccount(const std::string& account, const std::string& service,
                                                      const std::string& accessGroup) {
    platform::Value::Dictionary query{{platform::kSecClass, platform::Value(platform::kSecClassGenericPassword)}};
    addAddress(query, account, service, accessGroup);
    return platform::SecItemDelete(query) == platform::errSecSuccess;
}

}  // namespace LumenAnalyticsSDK
