// Generic-password keychain items in their 0600 file under the user's data folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

#include "platform/security/SecItem.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

TEST(SecItem, SaveFetchUpdateDeleteAsTheAnalyticsWrapperDoes) {
    testing_support::TempDir home;
    setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    Value::Dictionary query{{kSecClass, Value(kSecClassGenericPassword)},
                            {kSecAttrAccount, Value("com.example.udid")},
                            {kSecAttrService, Value("com.example.udid")},
                            {kSecAttrAccessible, Value(kSecAttrAccessibleAfterFirstUnlock)},
                            {kSecReturnData, Value(true)},
                            {kSecReturnAttributes, Value(true)},
                            {kSecMatchLimit, Value(kSecMatchLimitOne)}};
    Value found;
    EXPECT_EQ(SecItemCopyMatching(query, &found), errSecItemNotFound);

    Value::Dictionary add{{kSecClass, Value(kSecClassGenericPassword)},
                          {kSecAttrAccount, Value("com.example.udid")},
                          {kSecAttrService, Value("com.example.udid")},
                          {kSecValueData, Value(Data::fromString("first"))}};
    ASSERT_EQ(SecItemAdd(add), errSecSuccess);
    EXPECT_EQ(SecItemAdd(add), errSecDuplicateItem);

    ASSERT_EQ(SecItemCopyMatching(query, &found), errSecSuccess);
    ASSERT_TRUE(found.isDictionary());
    auto& attributes = *found.asDictionary();
    EXPECT_EQ(*attributes.at(kSecAttrAccount).asString(), "com.example.udid");
    EXPECT_EQ(attributes.at(kSecValueData).asData()->toString(), "first");

    Value::Dictionary match{{kSecClass, Value(kSecClassGenericPassword)}, {kSecAttrService, Value("com.example.udid")}};
    ASSERT_EQ(SecItemUpdate(match, {{kSecValueData, Value(Data::fromString("second"))}}), errSecSuccess);
    Value data;
    Value::Dictionary dataOnly = match;
    dataOnly[kSecReturnData] = Value(true);
    ASSERT_EQ(SecItemCopyMatching(dataOnly, &data), errSecSuccess);
    EXPECT_EQ(data.asData()->toString(), "second");

    auto file = home.path() / "keychains" / "generic-passwords.json";
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);

    Value::Dictionary other = match;
    other[kSecAttrAccount] = Value("someone-else");
    EXPECT_EQ(SecItemDelete(other), errSecItemNotFound);
    EXPECT_EQ(SecItemDelete(match), errSecSuccess);
    EXPECT_EQ(SecItemCopyMatching(query, &found), errSecItemNotFound);
    EXPECT_EQ(SecItemAdd({{kSecClass, Value("inet")}}), errSecUnimplemented);
    unsetenv("XDG_DATA_HOME");
}

}  // namespace
