// The cache file on its own: what a store writes, in which order, and what reading back
// makes of files it did not write.
#include <gtest/gtest.h>

#include <filesystem>

#include "../support/TempDir.h"
#include "TallockSDK/CacheManager.h"

using namespace TallockSDK;
using platform::Data;

namespace {

struct Source : CacheDataDelegate {
    std::optional<std::vector<Data>> batches;
    explicit Source(std::optional<std::vector<Data>> b) : batches(std::move(b)) {}
    std::optional<std::vector<Data>> dataToCache() override { return batches; }
};

TEST(CacheManagerTest, StoreWritesDelegatesInOrderIntoANewFolder) {
    testing_support::TempDir dir;
    CacheManager cache((dir / "Documents/StoredLogs.plist").string());
    cache.cacheDelegates = {std::make_shared<Source>(std::nullopt)};
    cache.storeLogs();
    EXPECT_FALSE(std::filesystem::exists(cache.storedPath));  // nothing to store, no file

    cache.cacheDelegates.push_back(
        std::make_shared<Source>(std::vector<Data>{Data::fromString("[1]"), Data::fromString("[2]")}));
    cache.cacheDelegates.push_back(std::make_shared<Source>(std::vector<Data>{Data::fromString("[3]")}));
    cache.storeLogs();
    auto back = cache.readCachedLogs();
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (std::vector<Data>{Data::fromString("[1]"), Data::fromString("[2]"), Data::fromString("[3]")}));
    EXPECT_FALSE(std::filesystem::exists(cache.storedPath));
    EXPECT_EQ(cache.readCachedLogs(), std::nullopt);
}

TEST(CacheManagerTest, ForeignFilesYieldOnlyTheirDataAndAreRemoved) {
    const std::pair<const char*, std::size_t> cases[] = {
        {R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><array><data>WzFd</data><string>x</string></array></plist>)",
         1},
        {R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict/></plist>)", 0},
        {"not a property list", 0},
    };
    for (const auto& [contents, count] : cases) {
        SCOPED_TRACE(contents);
        testing_support::TempDir dir;
        CacheManager cache((dir / "StoredLogs.plist").string());
        testing_support::writeFile(cache.storedPath, contents);
        auto back = cache.readCachedLogs();
        ASSERT_TRUE(back);
        EXPECT_EQ(back->size(), count);
        if (count) {
            EXPECT_EQ(back->front(), Data::fromString("[1]"));
        }
        EXPECT_FALSE(std::filesystem::exists(cache.storedPath));
    }
}

}  // namespace
