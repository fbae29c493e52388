// Time zones by identifier ("Europe/Paris", "GMT", "UTC") or fixed offset, with the
// offset from GMT at a date (daylight saving time included).
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Date.h"

namespace platform {

class TimeZone {
public:
    // The process's zone: $TZ when set, else /etc/localtime (its link target or
    // /etc/timezone names it), else GMT. Read anew on every call.
    static TimeZone current();
    static TimeZone gmt();
    // None for an identifier the time-zone database does not know.
    static std::optional<TimeZone> fromIdentifier(std::string_view identifier);
    // "GMT+0530"-style zone with a fixed offset; none beyond +-18 hours.
    static std::optional<TimeZone> fromSecondsFromGMT(int seconds);
    // "GMT", "UTC", "GMT+8", "UTC-05:30", "+0800" …; else as fromIdentifier.
    static std::optional<TimeZone> fromName(std::string_view name);

    const std::string& identifier() const { return identifier_; }
    int secondsFromGMT(Date at = Date::now()) const;
    bool isDaylightSavingTime(Date at = Date::now()) const;
    // "GMT+8", "GMT-5:30", "GMT" for fixed zones; the database's short name otherwise.
    std::string abbreviation(Date at = Date::now()) const;

    friend bool operator==(const TimeZone& a, const TimeZone& b) { return a.identifier_ == b.identifier_; }

    struct Rules;  // the zone's transitions, shared between copies

private:
    TimeZone() = default;
    std::string identifier_;
    std::optional<int> fixedOffset_;
    std::shared_ptr<const Rules> rules_;
};

}  // namespace platform
