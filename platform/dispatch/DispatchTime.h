// Points on the monotonic clock that queue deadlines, waits and timers are measured on,
// and the quality-of-service classes queues carry.
#pragma once
#include <compare>
#include <cstdint>
#include <limits>

namespace platform {

// A span of time as the dispatch calls take it; `never` means no limit.
struct DispatchTimeInterval {
    std::int64_t nanoseconds = 0;
    bool isNever = false;

    static constexpr DispatchTimeInterval seconds(std::int64_t n) { return {n * 1000000000, false}; }
    static constexpr DispatchTimeInterval milliseconds(std::int64_t n) { return {n * 1000000, false}; }
    static constexpr DispatchTimeInterval microseconds(std::int64_t n) { return {n * 1000, false}; }
    static constexpr DispatchTimeInterval nanosecondsInterval(std::int64_t n) { return {n, false}; }
    static constexpr DispatchTimeInterval never() { return {0, true}; }
};

// A point on the monotonic clock (CLOCK_MONOTONIC, nanoseconds). Wall-clock changes do
// not move deadlines.
struct DispatchTime {
    std::uint64_t uptimeNanoseconds = 0;

    static DispatchTime now();
    static constexpr DispatchTime distantFuture() { return DispatchTime{std::numeric_limits<std::uint64_t>::max()}; }
    bool isDistantFuture() const { return uptimeNanoseconds == distantFuture().uptimeNanoseconds; }

    // Seconds from now until this point (negative when it has passed).
    double secondsFromNow() const;

    friend DispatchTime operator+(DispatchTime t, double seconds);
    friend DispatchTime operator-(DispatchTime t, double seconds) { return t + (-seconds); }
    friend DispatchTime operator+(DispatchTime t, DispatchTimeInterval interval);
    friend constexpr auto operator<=>(DispatchTime, DispatchTime) = default;
};

// What a wait with a deadline answers.
enum class DispatchTimeoutResult { success, timedOut };

// Quality-of-service classes with the platform's raw values. `default_` stands for the
// platform's `.default` (a C++ keyword).
enum class DispatchQoS : int {
    unspecified = 0x00,
    background = 0x09,
    utility = 0x11,
    default_ = 0x15,
    userInitiated = 0x19,
    userInteractive = 0x21,
};

}  // namespace platform
