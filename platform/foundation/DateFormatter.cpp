// Fixed-pattern date formatting and parsing in the Gregorian calendar with English
// names and ASCII digits. Fractions carry millisecond precision, as the platform's.
#include "platform/foundation/DateFormatter.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <vector>

namespace platform {

namespace {
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kWeekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
void civilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y += m <= 2;
}
bool isLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int daysInMonth(std::int64_t y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

struct Fields {
    std::int64_t year = 1970;
    int month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
    int weekday = 4;  // 0 = Sunday
    int dayOfYear = 1;
};

Fields fieldsOf(Date date, int offset) {
    double ms = std::floor((date.timeIntervalSince1970() + offset) * 1000.0 + 1e-7);
    std::int64_t totalMs = static_cast<std::int64_t>(ms);
    std::int64_t days = totalMs >= 0 ? totalMs / 86400000 : -((-totalMs + 86399999) / 86400000);
    std::int64_t msOfDay = totalMs - days * 86400000;
    Fields f;
    civilFromDays(days, f.year, f.month, f.day);
    f.hour = static_cast<int>(msOfDay / 3600000);
    f.minute = static_cast<int>(msOfDay / 60000 % 60);
    f.second = static_cast<int>(msOfDay / 1000 % 60);
    f.millisecond = static_cast<int>(msOfDay % 1000);
    f.weekday = static_cast<int>(((days % 7) + 11) % 7);
    f.dayOfYear = static_cast<int>(days - daysFromCivil(f.year, 1, 1) + 1);
    return f;
}

struct Token {
    char letter = 0;  // 0: literal text
    int count = 0;
    std::string text;
};

std::vector<Token> tokenize(std::string_view p) {
    std::vector<Token> out;
    auto literal = [&out](const std::string& s) {
        if (!out.empty() && out.back().letter == 0) out.back().text += s;
        else out.push_back({0, 0, s});
    };
    for (std::size_t i = 0; i < p.size();) {
        char c = p[i];
        if (c == '\'') {
            if (i + 1 < p.size() && p[i + 1] == '\'') {
                literal("'");
                i += 2;
                continue;
            }
            std::string text;
            ++i;
            while (i < p.size()) {
                if (p[i] == '\'') {
                    if (i + 1 < p.size() && p[i + 1] == '\'') {
                        text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += p[i++];
            }
            literal(text);
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            std::size_t j = i;
            while (j < p.size() && p[j] == c) ++j;
            out.push_back({c, static_cast<int>(j - i), {}});
            i = j;
        } else {
            literal(std::string(1, c));
            ++i;
        }
    }
    return out;
}

std::string padded(std::int64_t v, int width) {
    std::string s = std::to_string(v < 0 ? -v : v);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return v < 0 ? "-" + s : s;
}

// "+0800" style: with `colon` "+08:00"; `zulu` writes "Z" at zero; `hoursOnly` "+08".
std::string offsetText(int seconds, bool colon, bool zulu, bool hoursOnly) {
    if (seconds == 0 && zulu) return "Z";
    int a = std::abs(seconds) / 60;
    std::string out(1, seconds < 0 ? '-' : '+');
    out += padded(a / 60, 2);
    if (hoursOnly && a % 60 == 0) return out;
    if (colon) out += ':';
    out += padded(a % 60, 2);
    return out;
}

bool isNumericLetter(char c) { return std::string_view("yYuMLdDHhKkmsSeFwWc").find(c) != std::string_view::npos; }
bool isNumericToken(const Token& t) {
    if (t.letter == 0) return false;
    if (t.letter == 'M' || t.letter == 'L' || t.letter == 'e' || t.letter == 'c') return t.count <= 2;
    return isNumericLetter(t.letter);
}
}  // namespace

std::string formatDate(Date date, std::string_view pattern, const TimeZone& zone) {
    int offset = zone.secondsFromGMT(date);
    Fields f = fieldsOf(date, offset);
    std::string out;
    for (const Token& t : tokenize(pattern)) {
        int n = t.count;
        switch (t.letter) {
            case 0: out += t.text; break;
            case 'G': out += f.year > 0 ? "AD" : "BC"; break;
            case 'y':
            case 'Y':
            case 'u':
                if (n == 2) out += padded(((f.year % 100) + 100) % 100, 2);
                else out += padded(f.year, n);
                break;
            case 'M':
            case 'L':
                if (n <= 2) out += padded(f.month, n);
                else if (n == 3) out += std::string(kMonths[f.month - 1]).substr(0, 3);
                else if (n == 4) out += kMonths[f.month - 1];
                else out += kMonths[f.month - 1][0];
                break;
            case 'd': out += padded(f.day, n); break;
            case 'D': out += padded(f.dayOfYear, n); break;
            case 'H': out += padded(f.hour, n); break;
            case 'k': out += padded(f.hour == 0 ? 24 : f.hour, n); break;
            case 'K': out += padded(f.hour % 12, n); break;
            case 'h': out += padded(f.hour % 12 == 0 ? 12 : f.hour % 12, n); break;
            case 'm': out += padded(f.minute, n); break;
            case 's': out += padded(f.second, n); break;
            case 'S': {
                std::string ms = padded(f.millisecond, 3);
                if (n <= 3) out += ms.substr(0, n);
                else out += ms + std::string(n - 3, '0');
                break;
            }
            case 'a': out += f.hour < 12 ? "AM" : "PM"; break;
            case 'E':
            case 'e':
            case 'c':
                if ((t.letter == 'e' || t.letter == 'c') && n <= 2) out += padded(f.weekday + 1, n);
                else if (n <= 3) out += std::string(kWeekdays[f.weekday]).substr(0, 3);
                else if (n == 4) out += kWeekdays[f.weekday];
                else if (n == 5) out += kWeekdays[f.weekday][0];
                else out += std::string(kWeekdays[f.weekday]).substr(0, 2);
                break;
            case 'Z':
                if (n <= 3) out += offsetText(offset, false, false, false);
                else if (n == 4) out += offset == 0 ? "GMT" : "GMT" + offsetText(offset, true, false, false);
                else out += offsetText(offset, true, true, false);
                break;
            case 'X':
            case 'x': {
                bool zulu = t.letter == 'X';
                if (n == 1) out += offsetText(offset, false, zulu, true);
                else if (n == 2 || n == 4) out += offsetText(offset, false, zulu, false);
                else out += offsetText(offset, true, zulu, false);
                break;
            }
            case 'z':
            case 'O':
            case 'v':
            case 'V': out += zone.abbreviation(date); break;
            default: out += std::string(static_cast<std::size_t>(n), t.letter);
        }
    }
    return out;
}

namespace {
struct Parser {
    std::string_view s;
    std::size_t at = 0;

    bool literal(const std::string& text) {
        if (s.substr(at, text.size()) != text) return false;
        at += text.size();
        return true;
    }
    // Exactly `width` digits, or (width 0) one to nine.
    bool number(int width, std::int64_t& out, bool allowSign = false) {
        bool negative = false;
        if (allowSign && at < s.size() && s[at] == '-') {
            negative = true;
            ++at;
        }
        std::size_t start = at;
        std::size_t limit = width > 0 ? static_cast<std::size_t>(width) : 9;
        out = 0;
        while (at < s.size() && at - start < limit && std::isdigit(static_cast<unsigned char>(s[at])))
            out = out * 10 + (s[at++] - '0');
        if (at == start || (width > 0 && at - start != static_cast<std::size_t>(width))) return false;
        if (negative) out = -out;
        return true;
    }
    // Index of the name (full or its first three letters), case-insensitive.
    int name(const char* const* names, int count) {
        for (int full = 1; full >= 0; --full) {
            for (int i = 0; i < count; ++i) {
                std::string n = full ? names[i] : std::string(names[i]).substr(0, 3);
                if (at + n.size() > s.size()) continue;
                bool same = true;
                for (std::size_t k = 0; k < n.size() && same; ++k)
                    same = std::tolower(static_cast<unsigned char>(s[at + k])) ==
                           std::tolower(static_cast<unsigned char>(n[k]));
                if (same) {
                    at += n.size();
                    return i;
                }
            }
        }
        return -1;
    }
    // "Z", "+08", "+0800", "+08:00", "GMT", "GMT+8", "GMT+08:00", "UTC".
    bool offset(int& seconds) {
        if (literal("Z")) {
            seconds = 0;
            return true;
        }
        bool gmt = literal("GMT") || literal("UTC");
        if (at >= s.size() || (s[at] != '+' && s[at] != '-')) {
            seconds = 0;
            return gmt;
        }
        int sign = s[at++] == '-' ? -1 : 1;
        std::int64_t h = 0, m = 0;
        std::size_t start = at;
        while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])) && at - start < 4) ++at;
        std::string digits(s.substr(start, at - start));
        if (digits.empty()) return false;
        if (digits.size() <= 2) {
            h = std::stoi(digits);
            if (at < s.size() && s[at] == ':') {
                ++at;
                if (!number(2, m)) return false;
            }
        } else if (digits.size() == 4) {
            h = std::stoi(digits.substr(0, 2));
            m = std::stoi(digits.substr(2));
        } else {
            return false;
        }
        if (h > 18 || m > 59) return false;
        seconds = sign * static_cast<int>(h * 3600 + m * 60);
        return true;
    }
};
}  // namespace

std::optional<Date> parseDate(std::string_view text, std::string_view pattern, const TimeZone& zone) {
    auto tokens = tokenize(pattern);
    Parser p{text};
    Fields f;
    double fraction = 0;
    std::optional<int> offset;
    std::optional<bool> pm;
    bool twelveHour = false;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        // Abutting numeric fields ("HHmmss") take exactly their width.
        bool abutting = i + 1 < tokens.size() && isNumericToken(tokens[i + 1]);
        int width = abutting || t.count > 2 ? t.count : 0;
        if (t.letter == 'y' || t.letter == 'u' || t.letter == 'Y') width = abutting || t.count == 2 ? t.count : 0;
        std::int64_t v = 0;
        switch (t.letter) {
            case 0:
                if (!p.literal(t.text)) return std::nullopt;
                break;
            case 'G':
                if (!p.literal("AD") && !p.literal("BC")) return std::nullopt;
                break;
            case 'y':
            case 'Y':
            case 'u':
                if (!p.number(width, v, true)) return std::nullopt;
                f.year = t.count == 2 ? (v < 100 ? 2000 + v - (v >= 69 ? 100 : 0) : v) : v;
                break;
            case 'M':
            case 'L':
                if (t.count <= 2) {
                    if (!p.number(abutting ? t.count : 0, v) || v < 1 || v > 12) return std::nullopt;
                    f.month = static_cast<int>(v);
                } else {
                    int m = p.name(kMonths, 12);
                    if (m < 0) return std::nullopt;
                    f.month = m + 1;
                }
                break;
            case 'd':
                if (!p.number(abutting ? t.count : 0, v) || v < 1 || v > 31) return std::nullopt;
                f.day = static_cast<int>(v);
                break;
            case 'H':
            case 'k':
            case 'K':
            case 'h':
                if (!p.number(abutting ? t.count : 0, v)) return std::nullopt;
                if (t.letter == 'k' && v == 24) v = 0;
                if (t.letter == 'h' && v == 12) v = 0;
                if (v > 23 || ((t.letter == 'h' || t.letter == 'K') && v > 11)) return std::nullopt;
                twelveHour = twelveHour || t.letter == 'h' || t.letter == 'K';
                f.hour = static_cast<int>(v);
                break;
            case 'm':
                if (!p.number(abutting ? t.count : 0, v) || v > 59) return std::nullopt;
                f.minute = static_cast<int>(v);
                break;
            case 's':
                if (!p.number(abutting ? t.count : 0, v) || v > 59) return std::nullopt;
                f.second = static_cast<int>(v);
                break;
            case 'S': {
                std::size_t start = p.at;
                if (!p.number(abutting ? t.count : 0, v)) return std::nullopt;
                fraction = static_cast<double>(v) / std::pow(10.0, static_cast<double>(p.at - start));
                break;
            }
            case 'a':
                if (p.literal("AM") || p.literal("am")) pm = false;
                else if (p.literal("PM") || p.literal("pm")) pm = true;
                else return std::nullopt;
                break;
            case 'E':
            case 'e':
            case 'c':
                if ((t.letter == 'e' || t.letter == 'c') && t.count <= 2) {
                    if (!p.number(abutting ? t.count : 0, v) || v < 1 || v > 7) return std::nullopt;
                } else if (p.name(kWeekdays, 7) < 0) {
                    return std::nullopt;
                }
                break;
            case 'D':
                if (!p.number(abutting ? t.count : 0, v) || v < 1 || v > 366) return std::nullopt;
                f.dayOfYear = static_cast<int>(v);
                break;
            case 'Z':
            case 'X':
            case 'x':
            case 'z':
            case 'O': {
                int seconds = 0;
                if (!p.offset(seconds)) return std::nullopt;
                offset = seconds;
                break;
            }
            default:
                if (!p.literal(std::string(static_cast<std::size_t>(t.count), t.letter))) return std::nullopt;
        }
    }
    if (p.at != text.size()) return std::nullopt;
    if (pm) {
        if (!twelveHour && f.hour > 12) return std::nullopt;
        f.hour = f.hour % 12 + (*pm ? 12 : 0);
    }
    if (f.day > daysInMonth(f.year, f.month)) return std::nullopt;
    std::int64_t days = daysFromCivil(f.year, f.month, f.day);
    double local = static_cast<double>(days) * 86400.0 + f.hour * 3600 + f.minute * 60 + f.second + fraction;
    if (!offset) {
        // The zone's offset at the moment meant: guess, then correct once for a change.
        int first = zone.secondsFromGMT(Date::fromTimeIntervalSince1970(local));
        offset = zone.secondsFromGMT(Date::fromTimeIntervalSince1970(local - first));
    }
    return Date::fromTimeIntervalSince1970(local - *offset);
}

namespace {

std::uint64_t nextRevision() {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

DateFormatter::DateFormatter()
    : state_(State{"", Style::none, Style::none, TimeZone::current(), Locale::current()}), revision_(nextRevision()) {}

DateFormatter::DateFormatter(const DateFormatter& other) : state_(other.state_.get()), revision_(nextRevision()) {}

DateFormatter& DateFormatter::operator=(const DateFormatter& other) {
    if (this != &other) {
        state_.set(other.state_.get());
        changed();
    }
    return *this;
}

void DateFormatter::changed() { revision_.store(nextRevision(), std::memory_order_release); }

std::string DateFormatter::dateFormat() const {
    return state_.read([](const State& state) { return state.effectiveFormat(); });
}

void DateFormatter::setDateFormat(std::string format) {
    state_.write([&](State& state) {
        state.format = std::move(format);
        state.dateStyle = state.timeStyle = Style::none;
    });
    changed();
}

void DateFormatter::setDateStyle(Style style) {
    state_.write([&](State& state) {
        state.format.clear();
        state.dateStyle = style;
    });
    changed();
}

void DateFormatter::setTimeStyle(Style style) {
    state_.write([&](State& state) {
        state.format.clear();
        state.timeStyle = style;
    });
    changed();
}

TimeZone DateFormatter::timeZone() const { return state_.get(&State::zone); }
void DateFormatter::setTimeZone(TimeZone zone) {
    state_.set(&State::zone, std::move(zone));
    changed();
}
Locale DateFormatter::locale() const { return state_.get(&State::locale); }
void DateFormatter::setLocale(Locale locale) {
    state_.set(&State::locale, std::move(locale));
    changed();
}

std::string DateFormatter::State::effectiveFormat() const {
    if (!format.empty() || (dateStyle == Style::none && timeStyle == Style::none)) return format;
    static const char* const dates[] = {"", "M/d/yy", "MMM d, y", "MMMM d, y", "EEEE, MMMM d, y"};
    static const char* const times[] = {"", "h:mm a", "h:mm:ss a", "h:mm:ss a z", "h:mm:ss a zzzz"};
    std::string d = dates[static_cast<int>(dateStyle)], t = times[static_cast<int>(timeStyle)];
    if (d.empty()) return t;
    if (t.empty()) return d;
    return d + ", " + t;
}

std::string DateFormatter::string(Date date) const {
    const State state = state_.get();
    return formatDate(date, state.effectiveFormat(), state.zone);
}

std::optional<Date> DateFormatter::date(std::string_view text) const {
    const State state = state_.get();
    return parseDate(text, state.effectiveFormat(), state.zone);
}

}  // namespace platform
