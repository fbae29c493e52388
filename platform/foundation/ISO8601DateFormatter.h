// ISO 8601 dates ("2026-12-09T19:17:52Z", "2026-12-09T19:17:52.250+08:00"). Safe to
// use from several threads at once.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Date.h"
#include "platform/base/OptionSet.h"
#include "platform/base/Protected.h"
#include "platform/foundation/TimeZone.h"

namespace platform {

struct ISO8601FormatOptions : OptionSet<ISO8601FormatOptions> {
    using OptionSet::OptionSet;
    constexpr ISO8601FormatOptions(OptionSet o) : OptionSet(o) {}
    static const ISO8601FormatOptions withYear, withMonth, withWeekOfYear, withDay, withTime, withTimeZone,
        withSpaceBetweenDateAndTime, withDashSeparatorInDate, withColonSeparatorInTime, withColonSeparatorInTimeZone,
        withFractionalSeconds, withFullDate, withFullTime, withInternetDateTime;
};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withYear{1};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withMonth{2};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withWeekOfYear{4};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withDay{16};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withTime{32};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withTimeZone{64};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withSpaceBetweenDateAndTime{128};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withDashSeparatorInDate{256};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withColonSeparatorInTime{512};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withColonSeparatorInTimeZone{1024};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withFractionalSeconds{2048};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withFullDate{1 | 2 | 16 | 256};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withFullTime{32 | 64 | 512 | 1024};
inline constexpr ISO8601FormatOptions ISO8601FormatOptions::withInternetDateTime{1 | 2 | 16 | 256 | 32 | 64 | 512 |
                                                                                 1024};

class ISO8601DateFormatter {
public:
    using Options = ISO8601FormatOptions;

    ISO8601DateFormatter() = default;  // internet date-time in GMT
    ISO8601DateFormatter(const ISO8601DateFormatter& other);
    ISO8601DateFormatter& operator=(const ISO8601DateFormatter& other);

    Options formatOptions() const;
    void setFormatOptions(Options options);
    TimeZone timeZone() const;
    void setTimeZone(TimeZone zone);

    std::string string(Date date) const;
    std::optional<Date> date(std::string_view text) const;

    // One formatting with the given options, as the shared formatters use it.
    static std::string string(Date date, const TimeZone& zone, Options options);

private:
    struct State {
        Options options = Options::withInternetDateTime;
        TimeZone zone = TimeZone::gmt();
    };
    Protected<State> state_;
};

}  // namespace platform
