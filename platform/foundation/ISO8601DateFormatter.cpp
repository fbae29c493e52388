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

ISO8601DateFormatter::ISO8601DateFormatter(const ISO8601DateFormatter& other) : state_(other.state_.get()) {}

ISO8601DateFormatter& ISO8601DateFormatter::operator=(const ISO8601DateFormatter& other) {
    if (this != &other) state_.set(other.state_.get());
    return *this;
}

ISO8601FormatOptions ISO8601DateFormatter::formatOptions() const { return state_.get(&State::options); }
void ISO8601DateFormatter::setFormatOptions(Options options) { state_.set(&State::options, options); }
TimeZone ISO8601DateFormatter::timeZone() const { return state_.get(&State::zone); }
void ISO8601DateFormatter::setTimeZone(TimeZone zone) { state_.set(&State::zone, std::move(zone)); }

std::string ISO8601DateFormatter::string(Date date, const TimeZone& zone, Options options) {
    return formatDate(date, patternFor(options), zone);
}

std::string ISO8601DateFormatter::string(Date date) const {
    const State state = state_.get();
    return string(date, state.zone, state.options);
}

std::optional<Date> ISO8601DateFormatter::date(std::string_view text) const {
    const State state = state_.get();
    return parseDate(text, patternFor(state.options), state.zone);
}

}  // namespace platform
