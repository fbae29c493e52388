// A point in time as seconds since 2001-01-01 00:00:00 UTC (the reference date),
// kept as a double like the platform does, so archived dates read back the same.
#pragma once
#include <compare>

namespace platform {

struct Date {
    static constexpr double kReferenceDateSince1970 = 978307200.0;

    double timeIntervalSinceReferenceDate = 0;

    static Date now();
    static Date fromTimeIntervalSince1970(double seconds) { return Date{seconds - kReferenceDateSince1970}; }
    static Date fromTimeIntervalSinceNow(double seconds) { return now().addingTimeInterval(seconds); }
    static Date distantFuture() { return Date{63113904000.0}; }
    static Date distantPast() { return Date{-63114076800.0}; }

    double timeIntervalSince1970() const { return timeIntervalSinceReferenceDate + kReferenceDateSince1970; }
    double timeIntervalSince(Date other) const {
        return timeIntervalSinceReferenceDate - other.timeIntervalSinceReferenceDate;
    }
    double timeIntervalSinceNow() const { return timeIntervalSince(now()); }
    Date addingTimeInterval(double seconds) const { return Date{timeIntervalSinceReferenceDate + seconds}; }

    friend auto operator<=>(const Date&, const Date&) = default;
};

}  // namespace platform
