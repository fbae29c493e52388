// ISO 8601 texts, built as a fixed pattern from the format options.
#include "platform/foundation/ISO8601DateFormatter.h"

#include "platform/foundation/DateFormatter.h"

namespace platform {

namespace {
std::string patternFor(ISO8601FormatOptions o) {
    using O = ISO8601FormatOptions;
    std::string p;
    bool dash = o.contains(O::withDashSeparatorInDate);
    if (o.contains(O::withYear)) p += "yyyy";
    if (o.contains(O::withMonth)) p += dash && !p.empty() ? "-MM" : "MM";
    if (o.contains(O::withDay)) p += dash && !p.empty() ? "-dd" : "dd";
    if (o.contains(O::withTime)) {
        if (!p.empty()) p += o.contains(O::withSpaceBetweenDateAndTime) ? " " : "'T'";
        p += o.contains(O::withColonSeparatorInTime) ? "HH:mm:ss" : "HHmmss";
        if (o.contains(O::withFractionalSeconds)) p += ".SSS";
    }
    if (o.contains(O::withTimeZone)) p += o.contains(O::withColonSeparatorInTimeZone) ? "XXX" : "XX";
    return p;
}
}  // namespace

ISO8601DateFormatter::ISO8601DateFormatter(const ISO8601DateFormatter& other) { *this = other; }

ISO8601DateFormatter& ISO8601DateFormatter::operator=(const ISO8601DateFormatter& other) {
    if (this == &other) return *this;
    std::scoped_lock lock(mutex_, other.mutex_);
    options_ = other.options_;
    zone_ = other.zone_;
    return *this;
}

ISO8601FormatOptions ISO8601DateFormatter::formatOptions() const {
    std::lock_guard lock(mutex_);
    return options_;
}

void ISO8601DateFormatter::setFormatOptions(Options options) {
    std::lock_guard lock(mutex_);
    options_ = options;
}

TimeZone ISO8601DateFormatter::timeZone() const {
    std::lock_guard lock(mutex_);
    return zone_;
}

void ISO8601DateFormatter::setTimeZone(TimeZone zone) {
    std::lock_guard lock(mutex_);
    zone_ = std::move(zone);
}

std::string ISO8601DateFormatter::string(Date date, const TimeZone& zone, Options options) {
    return formatDate(date, patternFor(options), zone);
}

std::string ISO8601DateFormatter::string(Date date) const {
    std::lock_guard lock(mutex_);
    return string(date, zone_, options_);
}

std::optional<Date> ISO8601DateFormatter::date(std::string_view text) const {
    std::lock_guard lock(mutex_);
    return parseDate(text, patternFor(options_), zone_);
}

}  // namespace platform
