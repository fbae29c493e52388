// Event timers on a clock the test sets: pauses, background stays, the 24-hour cap,
// units and three-decimal rounding.
#include "LumenAnalyticsSDK/Core/Tracker/LATrackTimer.h"

#include <gtest/gtest.h>

using namespace LumenAnalyticsSDK;

namespace {

constexpr std::uint64_t kSecond = 1000;
constexpr std::uint64_t kStart = 5'000'000;  // an uptime well after boot

TEST(LATrackTimer, PauseAndResumeLeaveThePausedTimeOut) {
    LATrackTimer timer;
    const std::string id = LATrackTimer::generateEventIdByEventName("play");
    timer.trackTimerStart(id, kStart);
    timer.trackTimerPause(id, kStart + 2 * kSecond);
    // Pausing again and resuming a running timer change nothing.
    timer.trackTimerPause(id, kStart + 7 * kSecond);
    timer.trackTimerResume(id, kStart + 12 * kSecond);
    timer.trackTimerResume(id, kStart + 13 * kSecond);
    EXPECT_EQ(timer.eventDurationFromEventId(id, kStart + 15 * kSecond), 5.0);
    // Ending removes the timer: a second end finds nothing.
    EXPECT_EQ(timer.eventDurationFromEventId(id, kStart + 16 * kSecond), std::nullopt);
    // The name's own record was never paused.
    EXPECT_EQ(timer.eventDurationFromEventId("play", kStart + 16 * kSecond), 16.0);
}

TEST(LATrackTimer, APlainNameFallsBackToTheNameRecord) {
    // Started under its name, a timer has the same key in both maps: a pause that finds
    // the id record already paused pauses the name record instead.
    LATrackTimer timer;
    timer.trackTimerStart("play", kStart);
    timer.trackTimerPause("play", kStart + 2 * kSecond);
    timer.trackTimerPause("play", kStart + 7 * kSecond);
    EXPECT_TRUE(timer.eventIds().at("play").isPause);
    EXPECT_TRUE(timer.eventNames().at("play").isPause);
    EXPECT_EQ(timer.eventNames().at("play").eventAccumulatedDuration, 7.0f);
}

TEST(LATrackTimer, BackgroundTimeIsNotCounted) {
    LATrackTimer timer;
    timer.trackTimerStart("read", kStart);
    timer.trackTimerStart("$AppEnd", kStart);
    timer.pauseAllEventTimers(kStart + 4 * kSecond);
    timer.resumeAllEventTimers(kStart + 24 * kSecond);
    EXPECT_EQ(timer.eventDurationFromEventId("read", kStart + 25 * kSecond), 5.0);
    // The application-end timer banks nothing on the way out and restarts on return.
    EXPECT_EQ(timer.eventDurationFromEventId("$AppEnd", kStart + 25 * kSecond), 1.0);
}

TEST(LATrackTimer, APausedTimerStaysPausedThroughTheBackground) {
    LATrackTimer timer;
    timer.trackTimerStart("watch", kStart);
    timer.trackTimerPause("watch", kStart + 3 * kSecond);
    timer.pauseAllEventTimers(kStart + 5 * kSecond);
    timer.resumeAllEventTimers(kStart + 9 * kSecond);
    EXPECT_EQ(timer.eventDurationFromEventId("watch", kStart + 20 * kSecond), 3.0);
}

TEST(LATrackTimer, StretchLengthByUnitWithItsCap) {
    struct Case {
        std::uint64_t start, now;
        int unit;
        float expected;
    } cases[] = {
        {kStart, kStart + 90 * 60 * kSecond, 3, 1.5f},   // hours
        {kStart, kStart + 90 * kSecond, 2, 1.5f},        // minutes
        {kStart, kStart + 1500, 1, 1.5f},                // seconds
        {kStart, kStart + 1500, 0, 1500.f},              // milliseconds
        {kStart, kStart + 1500, 7, 1500.f},              // unknown units count milliseconds
        {kStart, kStart + 25 * 3600 * kSecond, 1, 0.f},  // 25 hours: over the cap
        {kStart, kStart + 86'400'000, 0, 0.f},           // exactly a day already counts nothing
        {kStart, kStart + 86'399'999, 0, 0.f},           // a day once in single precision
        {kStart, kStart + 86'399'990, 0, 86'399'990.f},
        {kStart + kSecond, kStart, 1, 0.f},  // a start after now
        {0, kStart, 1, 0.f},                 // never started
        {kStart, kStart, 1, 0.f},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LATrackTimer::eventTimerDurationWithCurrentTime(c.now, c.start, c.unit), c.expected)
            << c.start << " → " << c.now << " unit " << c.unit;
}

TEST(LATrackTimer, DurationsAreRoundedToThreeDecimals) {
    LATrackTimer timer;
    timer.trackTimerStart("tap", 1, kStart);
    EXPECT_EQ(timer.eventDurationFromEventId("tap", kStart + 1234), 1.234);
    timer.trackTimerStart("tap", 2, kStart);
    EXPECT_EQ(timer.eventDurationFromEventId("tap", kStart + 10 * kSecond), 0.167);  // 1/6 min
    timer.trackTimerStart("over", 1, kStart);
    EXPECT_EQ(timer.eventDurationFromEventId("over", kStart + 25 * 3600 * kSecond), 0.0);
}

TEST(LATrackTimer, TimersOfOneNameRunIndependentlyUnderTheirIds) {
    LATrackTimer timer;
    const std::string first = LATrackTimer::generateEventIdByEventName("load");
    const std::string second = LATrackTimer::generateEventIdByEventName("load");
    ASSERT_NE(first, second);
    EXPECT_EQ(first.size(), 4 + 45u);
    EXPECT_TRUE(first.ends_with("_SATimer"));
    EXPECT_EQ(first.find('-'), std::string::npos);
    EXPECT_EQ(LATrackTimer::eventNameFromEventId(first), "load");

    timer.trackTimerStart(first, kStart);
    timer.trackTimerStart(second, kStart + 2 * kSecond);
    ASSERT_EQ(timer.eventNames().size(), 1u);
    EXPECT_EQ(timer.eventNames().at("load").eventBegin, kStart + 2 * kSecond);
    EXPECT_EQ(timer.eventDurationFromEventId(first, kStart + 4 * kSecond), 4.0);
    EXPECT_EQ(timer.eventDurationFromEventId(second, kStart + 4 * kSecond), 2.0);
    // The name map keeps its own copy, found by name once the ids are gone.
    EXPECT_EQ(timer.eventDurationFromEventId("load", kStart + 5 * kSecond), 3.0);
    EXPECT_TRUE(timer.eventNames().empty());
}

TEST(LATrackTimer, PauseAndRemoveFallBackToTheNameMap) {
    LATrackTimer timer;
    timer.trackTimerStart("scroll", kStart);
    timer.trackTimerRemove("scroll");  // removes the id entry only
    EXPECT_TRUE(timer.eventIds().empty());
    ASSERT_EQ(timer.eventNames().size(), 1u);
    timer.trackTimerPause("scroll", kStart + kSecond);
    EXPECT_TRUE(timer.eventNames().at("scroll").isPause);
    timer.trackTimerRemove("scroll");
    EXPECT_TRUE(timer.eventNames().empty());
    EXPECT_EQ(timer.eventDurationFromEventId("scroll", kStart + 2 * kSecond), std::nullopt);
}

TEST(LATrackTimer, TimerIdsAndNames) {
    EXPECT_EQ(LATrackTimer::generateEventIdByEventName(""), "");
    const std::string id = "x_ABCDEFGH_1234_1234_1234_123456789012_SATimer";
    EXPECT_EQ(LATrackTimer::generateEventIdByEventName(id), id);
    EXPECT_EQ(LATimerEventNameOfId(id), "x");
    EXPECT_EQ(LATimerEventNameOfId("plain"), "plain");
    // Too short to hold a name: no name, and the timer keys itself.
    const std::string shortId(36, 'a');
    EXPECT_EQ(LATimerEventNameOfId(shortId + "_SATimer"), std::nullopt);
    LATrackTimer timer;
    timer.trackTimerStart(shortId + "_SATimer", kStart);
    EXPECT_TRUE(timer.eventNames().contains(shortId + "_SATimer"));
    // Names are cut in text characters, not bytes.
    EXPECT_EQ(LATimerEventNameOfId("日本" + id.substr(1)), "日本");
}

TEST(LATrackTimer, ClearAllForgetsEveryTimer) {
    LATrackTimer timer;
    timer.trackTimerStart("a", kStart);
    timer.trackTimerStart(LATrackTimer::generateEventIdByEventName("b"), kStart);
    timer.clearAllEventTimers();
    EXPECT_TRUE(timer.eventIds().empty());
    EXPECT_TRUE(timer.eventNames().empty());
    EXPECT_GT(LATrackTimer::getSystemUpTime(), 0u);
}

}  // namespace
