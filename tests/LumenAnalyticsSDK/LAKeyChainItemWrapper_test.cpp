// The keychain wrapper over the user's keychain file, in a temporary data folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "LumenAnalyticsSDK/Core/Utils/LAKeyChainItemWrapper.h"
#include "platform/security/SecItem.h"
#include "tests/support/TempDir.h"

using namespace LumenAnalyticsSDK;

namespace {

class KeyChainTest : public testing::Test {
protected:
    void SetUp() override { setenv("XDG_DATA_HOME", dir.path().c_str(), 1); }
    void TearDown() override { unsetenv("XDG_DATA_HOME"); }
    testing_support::TempDir dir;
};

std::size_t itemCount() {
    platform::Value all;
    platform::SecItemCopyMatching({{platform::kSecClass, platform::Value(platform::kSecClassGenericPassword)},
                                   {platform::kSecMatchLimit, platform::Value(platform::kSecMatchLimitAll)},
                                   {platform::kSecReturnAttributes, platform::Value(true)}},
                                  &all);
    return all.count();
}

}  // namespace

TEST_F(KeyChainTest, SavingTwiceUpdatesTheOneItemAndDeleteRemovesIt) {
    EXPECT_TRUE(LAKeyChainItemWrapper::fetchPasswordWithAccount(kLAUdidAccount, kLAUdidAccount).empty());
    EXPECT_FALSE(LAKeyChainItemWrapper::laUdid());

    EXPECT_EQ(LAKeyChainItemWrapper::saveUdid("first-udid"), "first-udid");
    EXPECT_EQ(LAKeyChainItemWrapper::saveUdid("second-udid"), "second-udid");
    EXPECT_EQ(itemCount(), 1u);
    EXPECT_EQ(LAKeyChainItemWrapper::laUdid(), "second-udid");
    auto item = LAKeyChainItemWrapper::fetchPasswordWithAccount(kLAUdidAccount, kLAUdidAccount);
    EXPECT_EQ(item.at(platform::kSecAttrService), platform::Value(kLAUdidAccount));
    EXPECT_EQ(item.at(platform::kSecValueData), platform::Value("second-udid"));

    EXPECT_TRUE(LAKeyChainItemWrapper::deletePasswordWithAccount(kLAUdidAccount, kLAUdidAccount));
    EXPECT_FALSE(LAKeyChainItemWrapper::laUdid());
    EXPECT_FALSE(LAKeyChainItemWrapper::deletePasswordWithAccount(kLAUdidAccount, kLAUdidAccount));
}

TEST_F(KeyChainTest, AnEmptyAccountIsLeftOutSoTheServiceAloneMatches) {
    ASSERT_TRUE(LAKeyChainItemWrapper::saveOrUpdatePassword("p1", "alice", "svc"));
    ASSERT_TRUE(LAKeyChainItemWrapper::saveOrUpdatePassword("other", "bob", "elsewhere"));
    EXPECT_EQ(LAKeyChainItemWrapper::fetchPasswordWithAccount("", "svc").at(platform::kSecValueData),
              platform::Value("p1"));
    // An update through the service alone changes alice's item rather than adding one.
    ASSERT_TRUE(LAKeyChainItemWrapper::saveOrUpdatePassword("p2", "", "svc"));
    EXPECT_EQ(itemCount(), 2u);
    EXPECT_EQ(LAKeyChainItemWrapper::fetchPasswordWithAccount("alice", "svc").at(platform::kSecValueData),
              platform::Value("p2"));
    EXPECT_TRUE(LAKeyChainItemWrapper::deletePasswordWithAccount("", "elsewhere"));
    EXPECT_EQ(itemCount(), 1u);
}

// A store that cannot be rewritten (a folder where its next version goes, which even
// root cannot replace) makes the update fail, and the caller hears so.
TEST_F(KeyChainTest, AFailedUpdateIsReportedAndTheOldPasswordStays) {
    ASSERT_TRUE(LAKeyChainItemWrapper::saveOrUpdatePassword("old", "alice", "svc"));
    auto blocker = dir.path() / "keychains" / "generic-passwords.json.new";
    std::filesystem::create_directories(blocker / "inside");
    EXPECT_FALSE(LAKeyChainItemWrapper::saveOrUpdatePassword("new", "alice", "svc"));
    EXPECT_EQ(LAKeyChainItemWrapper::fetchPasswordWithAccount("alice", "svc").at(platform::kSecValueData),
              platform::Value("old"));
}
