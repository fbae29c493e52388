// Date formatting and parsing with fixed patterns, ISO 8601 and time zones.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/ISO8601DateFormatter.h"
#include "platform/foundation/TimeZone.h"

using namespace platform;

namespace {
// 2024-03-05 14:07:09.123 UTC, a Tuesday.
const Date kMoment = Date::fromTimeIntervalSince1970(1709647629.123);

TimeZone zone(const char* name) { return *TimeZone::fromName(name); }
}  // namespace

TEST(DateFormatterTest, FormatsPatterns) {
    struct Case {
        const char* pattern;
        const char* zone;
        const char* expected;
    } cases[] = {
        {"yyyy-MM-dd HH:mm:ss.SSS", "UTC", "2024-03-05 14:07:09.123"},
        {"yyyy-MM-dd HH:mm:ss.SSSSSSZ", "Asia/Shanghai", "2024-03-05 22:07:09.123000+0800"},
        {"_yyyy-MM-dd_HHmmss", "GMT-0530", "_2024-03-05_083709"},
        {"yyyy-MM-dd", "Pacific/Kiritimati", "2024-03-06"},
        {"EEE, dd MMM yyyy HH:mm:ss zzz", "GMT", "Tue, 05 Mar 2024 14:07:09 GMT"},
        {"EEEE MMMM d yy h:mm a", "America/New_York", "Tuesday March 5 24 9:07 AM"},
        {"yyyy-MM-dd'T'HH:mm:ssZZZZZ", "UTC", "2024-03-05T14:07:09Z"},
        {"yyyy-MM-dd'T'HH:mm:ssZZZZZ", "Europe/Paris", "2024-03-05T15:07:09+01:00"},
        {"'It''s' D", "UTC", "It's 65"},
        {"ZZZZ", "GMT+0530", "GMT+05:30"},
    };
    for (const auto& c : cases) {
        DateFormatter f;
        f.setDateFormat(c.pattern);
        f.setTimeZone(zone(c.zone));
        EXPECT_EQ(f.string(kMoment), c.expected) << c.pattern << " " << c.zone;
    }
    // Daylight saving time follows the zone's rules at the date.
    DateFormatter f;
    f.setDateFormat("HH:mm Z");
    f.setTimeZone(zone("Europe/Paris"));
    EXPECT_EQ(f.string(Date::fromTimeIntervalSince1970(1720000000)), "11:46 +0200");
    // Before 1970 and before the reference date.
    f.setTimeZone(TimeZone::gmt());
    f.setDateFormat("yyyy-MM-dd HH:mm:ss.SSS");
    EXPECT_EQ(f.string(Date::fromTimeIntervalSince1970(-0.5)), "1969-12-31 23:59:59.500");
}

TEST(DateFormatterTest, ParsesWholeTextsOnly) {
    DateFormatter f;
    f.setTimeZone(zone("Asia/Shanghai"));
    f.setDateFormat("yyyy-MM-dd HH:mm:ss.SSS");
    auto d = f.date("2024-03-05 22:07:09.123");
    ASSERT_TRUE(d);
    EXPECT_NEAR(d->timeIntervalSince1970(), 1709647629.123, 1e-6);
    for (const char* bad : {"2024-03-05 22:07:09", "2024-02-30 00:00:00.000", "2024-03-05 24:00:00.000",
                            "2024-03-05 22:07:09.123 extra", "x024-03-05 22:07:09.123"})
        EXPECT_FALSE(f.date(bad)) << bad;
    f.setDateFormat("yyyy-MM-dd'T'HH:mm:ssZZZZZ");
    EXPECT_EQ(f.date("2024-03-05T14:07:09Z")->timeIntervalSince1970(), 1709647629);
    EXPECT_EQ(f.date("2024-03-05T16:07:09+02:00")->timeIntervalSince1970(), 1709647629);
    f.setDateFormat("_yyyy-MM-dd_HHmmss");
    EXPECT_EQ(f.date("_2024-03-05_220709")->timeIntervalSince1970(), 1709647629);
    f.setDateFormat("dd MMM yyyy h:mm a");
    EXPECT_EQ(f.date("05 mar 2024 10:07 PM")->timeIntervalSince1970(), 1709647620);
}

TEST(DateFormatterTest, StylesAndConcurrentUse) {
    DateFormatter f;
    f.setTimeZone(TimeZone::gmt());
    f.setDateStyle(DateFormatter::Style::shortStyle);
    f.setTimeStyle(DateFormatter::Style::shortStyle);
    EXPECT_EQ(f.string(kMoment), "3/5/24, 2:07 PM");
    // One shared formatter whose format changes while others format.
    f.setDateFormat("yyyy");
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&f, &wrong, t] {
            for (int i = 0; i < 2000; ++i) {
                if (t == 0) f.setDateFormat(i % 2 ? "yyyy" : "MM");
                std::string s = f.string(kMoment);
                if (s != "2024" && s != "03") ++wrong;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
}

TEST(ISO8601DateFormatterTest, InternetDateTimeAndOptions) {
    ISO8601DateFormatter f;
    EXPECT_EQ(f.string(kMoment), "2024-03-05T14:07:09Z");
    EXPECT_EQ(f.date("2024-03-05T14:07:09Z")->timeIntervalSince1970(), 1709647629);
    EXPECT_EQ(f.date("2024-03-05T22:07:09+08:00")->timeIntervalSince1970(), 1709647629);
    EXPECT_FALSE(f.date("2024-03-05T14:07:09.123Z"));  // fractions only with the option
    EXPECT_FALSE(f.date("2024-03-05"));
    f.setFormatOptions(ISO8601FormatOptions::withInternetDateTime | ISO8601FormatOptions::withFractionalSeconds);
    f.setTimeZone(zone("Asia/Kolkata"));
    EXPECT_EQ(f.string(kMoment), "2024-03-05T19:37:09.123+05:30");
    EXPECT_NEAR(f.date("2024-03-05T14:07:09.123Z")->timeIntervalSince1970(), 1709647629.123, 1e-6);
    f.setFormatOptions(ISO8601FormatOptions::withFullDate);
    EXPECT_EQ(f.string(kMoment), "2024-03-05");
}

TEST(TimeZoneTest, IdentifiersOffsetsAndCurrent) {
    EXPECT_FALSE(TimeZone::fromIdentifier("Mars/Olympus_Mons"));
    EXPECT_FALSE(TimeZone::fromSecondsFromGMT(19 * 3600));
    EXPECT_EQ(TimeZone::fromSecondsFromGMT(-19800)->identifier(), "GMT-0530");
    EXPECT_EQ(zone("GMT+8").secondsFromGMT(), 28800);
    EXPECT_EQ(zone("UTC-05:30").secondsFromGMT(), -19800);
    EXPECT_EQ(zone("GMT+8").abbreviation(), "GMT+8");
    auto ny = zone("America/New_York");
    EXPECT_EQ(ny.secondsFromGMT(Date::fromTimeIntervalSince1970(1704067200)), -18000);  // January
    EXPECT_EQ(ny.secondsFromGMT(Date::fromTimeIntervalSince1970(1720000000)), -14400);  // July
    EXPECT_TRUE(ny.isDaylightSavingTime(Date::fromTimeIntervalSince1970(1720000000)));

    const char* saved = std::getenv("TZ");
    std::string old = saved ? saved : "";
    setenv("TZ", "Asia/Tokyo", 1);
    EXPECT_EQ(TimeZone::current().identifier(), "Asia/Tokyo");
    EXPECT_EQ(TimeZone::current().secondsFromGMT(), 32400);
    setenv("TZ", ":/usr/share/zoneinfo/Europe/Berlin", 1);
    EXPECT_EQ(TimeZone::current().identifier(), "Europe/Berlin");
    if (saved) setenv("TZ", old.c_str(), 1);
    else unsetenv("TZ");
}
