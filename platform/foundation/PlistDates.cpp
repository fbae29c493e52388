// Property-list dates over their whole range: the text of the XML form, and placeholders
// that carry each date through the library's 32-bit getter and setter.
#include "platform/foundation/PlistDates.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>

#include "platform/foundation/PlistPrescan.h"

namespace platform {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// 2001-01-01 counted in days from 1970-01-01.
constexpr std::int64_t kReferenceDay = 11323;
// Every date in the bytes is replaced, so the library only ever sees placeholders; a date
// the scans below could miss would read as one only if it fell in this narrow span.
constexpr std::int32_t kFirstPlaceholder = 1'000'000'000;
constexpr std::size_t kMostPlaceholders = 1'000'000'000;

// Days from 1970-01-01 to a day of the proleptic Gregorian calendar, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned daysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
    return m == 2 && leap ? 29 : days[m - 1];
}

// `count` decimal digits at `at`, or nothing.
std::optional<unsigned> digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value;
}

std::string_view trimmed(std::string_view text) {
    const char* space = " \t\r\n";
    const auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(space) + 1 - first);
}

bool isDateTag(std::string_view x, const XmlTag& tag, std::string_view prefix) {
    const std::string_view inside = x.substr(tag.begin, tag.end - tag.begin);
    if (!inside.starts_with(prefix) || inside.size() < prefix.size() + 5 || inside.substr(prefix.size(), 4) != "date")
        return false;
    const char after = inside[prefix.size() + 4];
    return after == '>' || after == '/' || after == ' ' || after == '\t' || after == '\r' || after == '\n';
}

// Replaces each date: `map` answers the date to put in its place, or nothing to refuse it.
using DateMap = std::function<std::optional<double>(double)>;

// Each <date> element's text; false for a date element that is empty, holds markup, or
// whose text is not a date.
bool mapXmlDates(std::string& x, const DateMap& map) {
    std::vector<std::pair<std::size_t, std::size_t>> texts;
    bool wellFormed = true;
    std::optional<std::size_t> open;
    forEachXmlTag(x, [&](const XmlTag& tag) {
        if (open) {
            // The date's text runs to the very next tag, which must close it.
            wellFormed = tag.kind == XmlTag::Kind::end && isDateTag(x, tag, "</");
            texts.emplace_back(*open, tag.begin);
            open.reset();
        } else if (isDateTag(x, tag, "<")) {
            wellFormed = tag.kind == XmlTag::Kind::start;
            open = tag.end;
        }
        return wellFormed;
    });
    if (!wellFormed || open) return false;
    std::string out;
    out.reserve(x.size());
    std::size_t copied = 0;
    for (const auto& [begin, end] : texts) {
        const auto date = parseXMLPlistDate(std::string_view(x).substr(begin, end - begin));
        const auto replacement = date ? map(*date) : std::nullopt;
        if (!replacement) return false;
        out.append(x, copied, begin - copied);
        out += xmlPlistDateText(*replacement);
        copied = end;
    }
    out.append(x, copied);
    x = std::move(out);
    return true;
}

double bigEndianDouble(const std::string& bytes, std::size_t at) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i) bits = (bits << 8) | static_cast<unsigned char>(bytes[at + i]);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void putBigEndianDouble(std::string& bytes, std::size_t at, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (std::size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<char>(bits >> (56 - 8 * i));
}

bool mapBinaryDates(std::string& bytes, const DateMap& map) {
    const auto offsets = binaryPlistDateOffsets(bytes);
    if (!offsets) return false;
    for (std::size_t at : *offsets) {
        const auto replacement = map(bigEndianDouble(bytes, at));
        if (!replacement) return false;
        putBigEndianDouble(bytes, at, *replacement);
    }
    return true;
}

bool mapDates(std::string& bytes, const DateMap& map) {
    return isBinaryPlist(bytes) ? mapBinaryDates(bytes, map) : mapXmlDates(bytes, map);
}

std::optional<std::size_t> placeholderIndex(double placeholder) {
    if (!(placeholder >= kFirstPlaceholder && placeholder < double(kFirstPlaceholder) + double(kMostPlaceholders)) ||
        placeholder != std::floor(placeholder))
        return std::nullopt;
    return static_cast<std::size_t>(placeholder - kFirstPlaceholder);
}

}  // namespace

bool plistDateInRange(double seconds) { return seconds >= kEarliestPlistDate && seconds < kEndOfPlistDates; }

std::optional<double> parseXMLPlistDate(std::string_view text) {
    text = trimmed(text);
    // YYYY-MM-DDTHH:MM:SS, an optional fraction, Z.
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
        text.back() != 'Z')
        return std::nullopt;
    const auto y = digits(text, 0, 4), mo = digits(text, 5, 2), d = digits(text, 8, 2);
    const auto h = digits(text, 11, 2), mi = digits(text, 14, 2), s = digits(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !s || *mo < 1 || *mo > 12 || *d < 1 || *d > daysInMonth(*y, *mo) || *h > 23 ||
        *mi > 59 || *s > 59)
        return std::nullopt;
    if (text.size() > 20) {
        const std::string_view fraction = text.substr(19, text.size() - 20);
        if (fraction.size() < 2 || fraction[0] != '.' || !digits(fraction, 1, fraction.size() - 1)) return std::nullopt;
    }
    const std::int64_t day = daysFromCivil(*y, *mo, *d) - kReferenceDay;
    return static_cast<double>(day * kSecondsPerDay + *h * 3600 + *mi * 60 + *s);
}

std::string xmlPlistDateText(double seconds) {
    const auto whole = static_cast<std::int64_t>(std::floor(seconds));
    const std::int64_t days = (whole >= 0 ? whole : whole - (kSecondsPerDay - 1)) / kSecondsPerDay;
    const std::int64_t inDay = whole - days * kSecondsPerDay;
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days + kReferenceDay, y, m, d);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", static_cast<long long>(y), m, d,
                  static_cast<long long>(inDay / 3600), static_cast<long long>(inDay / 60 % 60),
                  static_cast<long long>(inDay % 60));
    return text;
}

std::int32_t plistDatePlaceholder(std::size_t index) { return kFirstPlaceholder + static_cast<std::int32_t>(index); }

std::optional<std::size_t> plistDateIndex(std::int32_t seconds, std::int32_t microseconds) {
    return microseconds == 0 ? placeholderIndex(seconds) : std::nullopt;
}

std::optional<std::string> withPlistDatePlaceholders(std::string_view bytes, std::vector<double>& dates) {
    std::string copy(bytes);
    const bool replaced = mapDates(copy, [&](double date) -> std::optional<double> {
        if (!plistDateInRange(date) || dates.size() >= kMostPlaceholders) return std::nullopt;
        dates.push_back(date);
        return plistDatePlaceholder(dates.size() - 1);
    });
    return replaced ? std::optional<std::string>(std::move(copy)) : std::nullopt;
}

bool replacePlistDatePlaceholders(std::string& bytes, const std::vector<double>& dates) {
    if (dates.empty()) return true;
    return mapDates(bytes, [&](double placeholder) -> std::optional<double> {
        const auto index = placeholderIndex(placeholder);
        return index && *index < dates.size() ? std::optional<double>(dates[*index]) : std::nullopt;
    });
}

}  // namespace platform
