// Dates <-> text with fixed patterns, Gregorian calendar, ASCII digits and English
// names (the en_US_POSIX forms). Safe to use from several threads at once.
//
// Pattern letters: y yy yyyy (year), M MM MMM MMMM (month), d dd, H HH (0-23),
// h hh (1-12), a (AM/PM), m mm, s ss, S… (fraction, any count), E EEE (Mon) EEEE
// (Monday), Z (+0800) ZZZZZ / XXX (+08:00, Z at GMT) X (+08, Z) xxx (+08:00), z (GMT+8),
// D (day of year), e (weekday number); 'quoted text' and '' for a quote; any other
// character stands for itself.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Date.h"
#include "platform/base/Protected.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/TimeZone.h"

namespace platform {

class DateFormatter {
public:
    // With no format and no style nothing is written ("").
    enum class Style { none, shortStyle, mediumStyle, longStyle, fullStyle };

    DateFormatter();  // current time zone, current locale
    DateFormatter(const DateFormatter& other);
    DateFormatter& operator=(const DateFormatter& other);

    std::string dateFormat() const;
    void setDateFormat(std::string format);
    // Styles give the English forms ("M/d/yy", "h:mm a", …); setting a style clears a
    // format set before, setting a format replaces the styles.
    void setDateStyle(Style style);
    void setTimeStyle(Style style);
    TimeZone timeZone() const;
    void setTimeZone(TimeZone zone);
    Locale locale() const;
    void setLocale(Locale locale);  // kept for callers; texts are always en_US_POSIX

    std::string string(Date date) const;
    // Changes whenever a setting changes, and no two formatters share one: a text made
    // earlier still holds while the revision is the same.
    std::uint64_t revision() const { return revision_.load(std::memory_order_acquire); }
    // None when the text does not match the pattern wholly or names no real date.
    std::optional<Date> date(std::string_view text) const;

private:
    struct State {
        std::string format;
        Style dateStyle = Style::none, timeStyle = Style::none;
        TimeZone zone;
        Locale locale;
        std::string effectiveFormat() const;
    };
    Protected<State> state_;
    std::atomic<std::uint64_t> revision_;
    void changed();  // after every change of the settings
};

// Formats and parses with `pattern` in `zone` (what DateFormatter does with a copy of its settings).
std::string formatDate(Date date, std::string_view pattern, const TimeZone& zone);
std::optional<Date> parseDate(std::string_view text, std::string_view pattern, const TimeZone& zone);

}  // namespace platform
