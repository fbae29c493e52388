// The cache file on its own: what a store writes, in which order, and what reading back
// makes of files it did not write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>

#include "../support/BinaryPlists.h"
#include "../support/TempDir.h"
#include "TallockSDK/CacheManager.h"
#include "platform/foundation/PropertyListSerialization.h"

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

// The file a line on standard error names as where the cache file was moved aside; empty
// when none does.
std::string asideNamedIn(const std::string& logged) {
    const std::string marker = "moved aside to ";
    const auto at = logged.find(marker);
    if (at == std::string::npos) return {};
    return logged.substr(at + marker.size(), logged.find('\n', at) - at - marker.size());
}

// The file read leaves in the cache file's place: none; what it did not read whole is in the
// aside that it names, as it was.
void expectKeptAsideOrGone(const CacheManager& cache, const std::string& logged, const std::string& contents,
                           bool keptAside) {
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(cache.storedPath)));
    const std::string aside = asideNamedIn(logged);
    ASSERT_EQ(!aside.empty(), keptAside) << logged;
    if (keptAside) {
        EXPECT_TRUE(testing_support::readFile(aside) == contents) << aside;
    }
}

TEST(CacheManagerTest, ForeignFilesYieldOnlyTheirDataAndAreRemovedOrKeptAside) {
    // What holds no batch list is kept aside rather than deleted unread.
    struct Case {
        const char* contents;
        std::size_t count;
        bool keptAside;
    } cases[] = {
        {R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><array><data>WzFd</data><string>x</string></array></plist>)",
         1, false},
        {R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict/></plist>)", 0, true},
        {"not a property list", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contents);
        testing_support::TempDir dir;
        CacheManager cache((dir / "StoredLogs.plist").string());
        testing_support::writeFile(cache.storedPath, c.contents);
        testing::internal::CaptureStderr();
        auto back = cache.readCachedLogs();
        const std::string logged = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(back);
        EXPECT_EQ(back->size(), c.count);
        if (c.count) {
            EXPECT_EQ(back->front(), Data::fromString("[1]"));
        }
        expectKeptAsideOrGone(cache, logged, c.contents, c.keptAside);
    }
}

// Reads the cache file; a read still blocked after a while on a FIFO in its place is let
// through by opening the FIFO's other end, so that the fault fails the test, not hangs it.
std::optional<std::vector<Data>> readLettingAFIFOThrough(CacheManager& cache) {
    auto reading = std::async(std::launch::async, [&] { return cache.readCachedLogs(); });
    if (reading.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "the read blocked";
        const int writer = ::open(cache.storedPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) ::close(writer);
    }
    return reading.get();
}

TEST(CacheManagerTest, OnlyASmallRegularFileIsReadPromptlyAndRemovedOrKeptAside) {
    // Whatever stands in the cache file's place, set-up goes on at once: a FIFO blocked it
    // for good, a huge file was read whole, 12 KB standing for 1.99 million values took
    // seconds and hundreds of MB, and 193 KB referring 32,000 times to one batch of 64 KiB
    // took 19 s and 4 GB. What cannot be read yields nothing and is logged; a regular file
    // is kept aside (it was deleted unread), anything else removed.
    testing_support::TempDir dir;
    const auto good = dir / "good.plist";
    testing_support::writeFile(good, R"(<plist version="1.0"><array><data>WzFd</data></array></plist>)");
    const std::string huge = "<plist version=\"1.0\"><array><data>" +
                             Data(std::vector<std::uint8_t>(3u << 20, 7)).base64EncodedString() +
                             "</data></array></plist>";
    // A batch, then one array of 1,989 Booleans referred to 999 times.
    std::vector<std::uint32_t> sharing(1000, 2);
    sharing[0] = 1;
    const std::string shared = testing_support::binaryPlist(
        {testing_support::binaryArrayOf(sharing), "\x43[1]", testing_support::binaryArray(1989, 3), "\x09"});
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        const char* logged;
        bool keptAside;
    };
    const std::vector<Case> cases = {
        {"a FIFO", [](const auto& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "not a regular file", false},
        {"a link to a cache file", [&](const auto& p) { std::filesystem::create_symlink(good, p); }, "is a link",
         false},
        {"a cache file of 4 MiB and more", [&](const auto& p) { testing_support::writeFile(p, huge); }, "larger than",
         true},
        {"a list sharing one array into 1.99 M values", [&](const auto& p) { testing_support::writeFile(p, shared); },
         "no property list", true},
        {"a list referring 32,000 times to one batch of 64 KiB",
         [](const auto& p) { testing_support::writeFile(p, testing_support::sharedBlobPlist(32000, 0x40, 64u << 10)); },
         "no property list", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CacheManager cache((dir / "StoredLogs.plist").string());
        c.make(cache.storedPath);
        const std::string contents = c.keptAside ? testing_support::readFile(cache.storedPath) : std::string();
        testing::internal::CaptureStderr();
        const auto started = std::chrono::steady_clock::now();
        auto back = readLettingAFIFOThrough(cache);
        const auto elapsed = std::chrono::steady_clock::now() - started;
        const std::string logged = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->empty());
        // A bound of the faults' scale (for good, 19 s), well above the work left (reading the
        // last 4 MiB), which takes a second under a sanitizer and load.
        EXPECT_LT(elapsed, std::chrono::seconds(5));
        EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
        expectKeptAsideOrGone(cache, logged, contents, c.keptAside);
    }
    EXPECT_TRUE(std::filesystem::exists(good));  // a link is removed, never what it points to
}

TEST(CacheManagerTest, AnUnboundedFileOfAnEarlierVersionYieldsTheLastBatchesItsReaderTakes) {
    // An earlier writer kept every batch; of its file over 4 MiB what the writer keeps now
    // is read, the last batches whole in its last 4 MiB, at most 16,384 of them, and the file
    // is kept aside with the batches before them. A file whose last batch was cut short
    // (its write never finished) yielded none: the whole ones before it are read.
    auto batchOf = [](std::size_t bytes, int number) {
        std::string text = "[" + std::to_string(number) + "]";
        text.resize(bytes, ' ');
        return Data::fromString(text);
    };
    std::vector<Data> large, small;
    for (int i = 0; i < 6; ++i) large.push_back(batchOf(900u << 10, i));  // three fit in 4 MiB
    for (int i = 0; i < 30000; ++i) small.push_back(batchOf(100, i));     // 4.6 MiB
    struct Case {
        const char* name;
        const std::vector<Data>& batches;
        std::size_t kept;    // the last ones whole
        std::size_t cutOff;  // bytes of the file's end never written
    };
    const Case cases[] = {
        {"six batches of 900 KiB", large, 3, 0},
        {"30,000 small batches", small, 16384, 0},
        // The end of the last one and the list's end missing: the second, third and fourth
        // lie in the last 4 MiB, the second in part.
        {"six batches of 900 KiB, the last cut short", large, 2, 600u << 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TempDir dir;
        CacheManager cache((dir / "StoredLogs.plist").string());
        platform::Value::Array elements(c.batches.begin(), c.batches.end());
        auto file = platform::PropertyListSerialization::data(platform::Value(std::move(elements)),
                                                              platform::PropertyListFormat::xml);
        ASSERT_TRUE(file.isSuccess());
        ASSERT_GT(file.value().count(), 4u << 20);
        const std::string contents = file.value().toString().substr(0, file.value().count() - c.cutOff);
        testing_support::writeFile(cache.storedPath, contents);
        testing::internal::CaptureStderr();
        auto back = cache.readCachedLogs();
        const std::string logged = testing::internal::GetCapturedStderr();
        const auto end = c.batches.end() - (c.cutOff ? 1 : 0);
        EXPECT_EQ(back, std::vector<Data>(end - c.kept, end));
        EXPECT_NE(logged.find("larger than"), std::string::npos) << logged;
        expectKeptAsideOrGone(cache, logged, contents, true);
    }
}

TEST(CacheManagerTest, AWriteKeepsTheLastBatchesItsReaderTakes) {
    // Written whole, these made files the reader refuses (over 4 MiB or its value cap): the
    // first batches are left out instead, and a batch that fits in no file leaves the last
    // file as it was.
    auto big = [](std::uint8_t byte) { return Data(std::vector<std::uint8_t>(1200u << 10, byte)); };
    const Data huge(std::vector<std::uint8_t>(7u << 19, 7));
    std::vector<Data> many;
    for (int i = 0; i < 17000; ++i) many.push_back(Data::fromString("[" + std::to_string(i) + "]"));
    struct Case {
        const char* name;
        std::vector<Data> batches;
        std::size_t kept;  // the last ones; 0: not written
    };
    const std::vector<Case> cases = {
        {"three batches of 1.2 MiB", {big(1), big(2), big(3)}, 2},
        {"17,000 small batches", many, 16384},
        {"a batch of 3.5 MiB", {Data::fromString("[1]"), huge}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TempDir dir;
        CacheManager cache((dir / "StoredLogs.plist").string());
        ASSERT_TRUE(cache.write({Data::fromString("[0]")}));
        testing::internal::CaptureStderr();
        EXPECT_EQ(cache.write(c.batches), c.kept > 0);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("TallockSDK: "), std::string::npos);
        const std::vector<Data> last(c.batches.end() - c.kept, c.batches.end());
        EXPECT_EQ(cache.readCachedLogs(), c.kept ? last : std::vector<Data>{Data::fromString("[0]")});
    }
}

// The cache's temporaries: a link at a name a write may take (its thread's, as earlier
// versions named it, or one of the next) is never written through, and what a write cut
// off by its process's end left is gone once the cache is read.
TEST(CacheManagerTest, TemporariesAreNeverWrittenThroughAndAbandonedOnesAreCleared) {
    testing_support::TempDir dir;
    CacheManager cache((dir / "Documents/StoredLogs.plist").string());
    std::filesystem::create_directories(dir / "Documents");
    const auto victim = dir / "victim";
    testing_support::writeFile(victim, "keep me");
    const std::string ownName = cache.storedPath + ".writing." + std::to_string(::gettid());
    std::filesystem::create_symlink(victim, ownName);
    for (int n = 0; n < 6; ++n) std::filesystem::create_symlink(victim, ownName + "-" + std::to_string(n));
    testing_support::writeFile(cache.storedPath + ".writing.999999999", "cut off");  // no such thread
    ASSERT_TRUE(cache.write({Data::fromString("[1]")}));
    EXPECT_EQ(testing_support::readFile(victim), "keep me");
    EXPECT_EQ(cache.readCachedLogs(), std::vector<Data>{Data::fromString("[1]")});
    EXPECT_FALSE(std::filesystem::exists(cache.storedPath + ".writing.999999999"));
}

}  // namespace
