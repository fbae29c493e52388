// Keychain items of the generic-password class, kept in a file only the user can read
// (mode 0600) under the user's data folder: $XDG_DATA_HOME (default ~/.local/share)
// /keychains/generic-passwords.json. Queries and results are dictionaries keyed by the
// platform's attribute names.
#pragma once
#include "platform/base/Value.h"
#include "platform/security/SecBase.h"

namespace platform {

inline constexpr const char* kSecClass = "class";
inline constexpr const char* kSecClassGenericPassword = "genp";
inline constexpr const char* kSecAttrAccount = "acct";
inline constexpr const char* kSecAttrService = "svce";
inline constexpr const char* kSecAttrAccessGroup = "agrp";
inline constexpr const char* kSecAttrLabel = "labl";
inline constexpr const char* kSecAttrAccessible = "pdmn";
inline constexpr const char* kSecAttrAccessibleAfterFirstUnlock = "ck";
inline constexpr const char* kSecAttrAccessibleWhenUnlocked = "ak";
inline constexpr const char* kSecAttrCreationDate = "cdat";
inline constexpr const char* kSecAttrModificationDate = "mdat";
inline constexpr const char* kSecValueData = "v_Data";
inline constexpr const char* kSecReturnData = "r_Data";
inline constexpr const char* kSecReturnAttributes = "r_Attributes";
inline constexpr const char* kSecMatchLimit = "m_Limit";
inline constexpr const char* kSecMatchLimitOne = "m_LimitOne";
inline constexpr const char* kSecMatchLimitAll = "m_LimitAll";

// errSecDuplicateItem when an item with the same account, service and access group exists.
OSStatus SecItemAdd(const Value::Dictionary& attributes, Value* result = nullptr);
// The data, the attributes, or both (as a dictionary with kSecValueData), as the query asks;
// an array of them with kSecMatchLimitAll. errSecItemNotFound when nothing matches.
OSStatus SecItemCopyMatching(const Value::Dictionary& query, Value* result);
OSStatus SecItemUpdate(const Value::Dictionary& query, const Value::Dictionary& attributesToUpdate);
OSStatus SecItemDelete(const Value::Dictionary& query);

}  // namespace platform
