// Queue helpers, the reader/writer lock, date text from many threads, byte cuts, deep
// copies of properties and the locked dictionary.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "LumenAnalyticsSDK/Core/Utils/LACommonUtility.h"
#include "LumenAnalyticsSDK/Core/Utils/LADateFormatter.h"
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "LumenAnalyticsSDK/Core/Utils/LAReadWriteLock.h"
#include "LumenAnalyticsSDK/Core/Utils/LAThreadSafeDictionary.h"
#include "LumenAnalyticsSDK/Core/Utils/NSDictionary+LACopyProperties.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/TimeZone.h"

using namespace LumenAnalyticsSDK;
using platform::Value;

TEST(LAQueueHelpersTest, SyncOrInlineRunsAtOnceOnItsOwnQueueAndCurrentQueueGoesByLabel) {
    auto queue = platform::DispatchQueue::create("com.lumen.test.serial");
    auto twin = platform::DispatchQueue::create("com.lumen.test.serial");
    bool ranInside = false, sameLabel = false, otherLabel = true;
    LADispatchSyncOrInline(queue, [&] {
        // A plain synchronous dispatch here would wait for itself.
        LADispatchSyncOrInline(queue, [&] { ranInside = true; });
        sameLabel = LAIsCurrentQueue(twin);
        otherLabel = LAIsCurrentQueue(platform::DispatchQueue::create("elsewhere"));
    });
    EXPECT_TRUE(ranInside);
    EXPECT_TRUE(sameLabel);
    EXPECT_FALSE(otherLabel);
    EXPECT_FALSE(LAIsCurrentQueue(queue));
    EXPECT_EQ(LADispatchSyncOrInlineResult(queue, [] { return 7; }), 7);
}

TEST(LAReadWriteLockTest, DefaultLabelAndAWriteRunsBetweenTheReadsAroundIt) {
    LAReadWriteLock unnamed("");
    EXPECT_TRUE(unnamed.concurentQueue()->label().starts_with("com.lumen.readWriteLock.0x"));

    LAReadWriteLock lock("com.lumen.test.rw");
    auto value = std::make_shared<std::atomic<int>>(1);
    EXPECT_EQ(lock.readWithBlock([&] { return Value(value->load()); }), Value(1));
    // The first write holds the queue (and returns at once: writes never block their
    // caller); the read queued after the second write must wait for both.
    auto gate = platform::DispatchSemaphore::create(0);
    lock.writeWithBlock([gate] { gate->wait(); });
    lock.writeWithBlock([value] { value->store(2); });
    std::thread releaser([gate] { gate->signal(); });
    EXPECT_EQ(lock.readWithBlock([&] { return Value(value->load()); }), Value(2));
    releaser.join();
    EXPECT_TRUE(lock.readWithBlock(nullptr).isNull());
}

TEST(LADateFormatterTest, FormatsFromEightThreadsWithoutMixingFormats) {
    platform::Date date = platform::Date::fromTimeIntervalSince1970(1700000000.123);
    const std::vector<std::string> formats{"yyyy-MM-dd HH:mm:ss.SSS", "yyyy-MM-dd", "HH:mm", "yyyyMMdd"};
    std::vector<std::string> expected;
    for (const auto& f : formats) expected.push_back(platform::formatDate(date, f, platform::TimeZone::current()));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                std::size_t which = static_cast<std::size_t>(t + i) % formats.size();
                if (LADateFormatter::stringFromDate(date, formats[which]) != expected[which]) ++mismatches;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(LADateFormatter::dateFromString(expected[0])->timeIntervalSince1970(), 1700000000.123);
}

TEST(LACommonUtilityTest, SubByteStringNeverEndsInsideACharacter) {
    const std::string text = "ab中c";  // 中 is three bytes: 2..4
    EXPECT_EQ(LACommonUtility::subByteString(text, 2), "ab");
    EXPECT_EQ(LACommonUtility::subByteString(text, 3), "ab");
    EXPECT_EQ(LACommonUtility::subByteString(text, 4), "ab");
    EXPECT_EQ(LACommonUtility::subByteString(text, 5), "ab中");
    EXPECT_EQ(LACommonUtility::subByteString(text, 6), text);
    EXPECT_EQ(LACommonUtility::hashStringWithData(platform::Data::fromString("x")),
              LACommonUtility::hashStringWithData(platform::Data::fromString("x")));
    EXPECT_FALSE(LACommonUtility::hashStringWithData(std::nullopt));
    EXPECT_EQ(LALanguageText("LADebugOnly", "fallback"), "开启调试模式（不导入数据）");
    EXPECT_EQ(LALanguageText("no such key", "fallback"), "fallback");
    EXPECT_EQ(LAReservedKeywordSet().size(), 13u);
}

TEST(LACopyPropertiesTest, DeepCopyTurnsSetsIntoArraysAndDropsWhatJSONCannotHold) {
    Value::Set set;
    set.insert(Value(1));
    set.insert(Value(2));
    platform::Date when = platform::Date::now();
    Value::Dictionary properties{
        {"set", Value(set)},
        {"list", Value(Value::Array{Value("a"), Value(1.5)})},
        {"datesInside", Value(Value::Array{Value(when)})},  // a date cannot be written as JSON
        {"when", Value(when)},
        {"name", Value("n")},
    };
    auto copy = lumen_deepCopy(properties);
    EXPECT_EQ(copy.at("set"), Value(Value::Array{Value(1), Value(2)}));
    EXPECT_EQ(copy.at("list"), properties.at("list"));
    EXPECT_FALSE(copy.contains("datesInside"));
    EXPECT_EQ(copy.at("when"), Value(when));
    EXPECT_EQ(copy.at("name"), Value("n"));
}

TEST(LAThreadSafeDictionaryTest, TheWalkMayChangeTheDictionary) {
    auto dictionary = LAThreadSafeDictionary<int>::dictionary();
    dictionary->setObject(1, "a");
    dictionary->setObject(2, "b");
    dictionary->enumerateKeysAndObjectsUsingBlock([&](const std::string& key, const int& value, bool&) {
        dictionary->setObject(value * 10, key + "x");  // the same lock, taken again
    });
    EXPECT_EQ(dictionary->allKeys(), (std::vector<std::string>{"a", "ax", "b", "bx"}));
    EXPECT_EQ(dictionary->objectForKey("bx"), 20);
    dictionary->removeObjectForKey("a");
    EXPECT_EQ(dictionary->objectForKey("a"), 0);
}
