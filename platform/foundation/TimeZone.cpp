// Time zones over ICU's time-zone database; fixed offsets kept by hand.
#include "platform/foundation/TimeZone.h"

#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

namespace platform {

struct TimeZone::Rules {
    std::unique_ptr<icu::TimeZone> zone;
};

namespace {
std::string offsetIdentifier(int seconds) {
    if (seconds == 0) return "GMT";
    int a = std::abs(seconds) / 60;
    char buf[16];
    std::snprintf(buf, sizeof buf, "GMT%c%02d%02d", seconds < 0 ? '-' : '+', a / 60, a % 60);
    return buf;
}

// "+8", "-05:30", "+0800" after an optional "GMT"/"UTC"; false if it is not an offset.
bool parseOffset(std::string_view s, int& seconds) {
    if (s.empty() || (s[0] != '+' && s[0] != '-')) return false;
    int sign = s[0] == '-' ? -1 : 1;
    std::string digits;
    bool colon = false;
    for (char c : s.substr(1)) {
        if (c >= '0' && c <= '9') digits += c;
        else if (c == ':' && !colon && !digits.empty()) colon = true;
        else return false;
    }
    int h = 0, m = 0;
    if (digits.empty() || digits.size() > 4) return false;
    if (colon || digits.size() > 2) {
        std::size_t hl = digits.size() - 2;
        if (hl == 0) return false;
        h = std::stoi(digits.substr(0, hl));
        m = std::stoi(digits.substr(hl));
    } else {
        h = std::stoi(digits);
    }
    if (m >= 60) return false;
    seconds = sign * (h * 3600 + m * 60);
    return true;
}

std::string zoneFromPath(const std::string& path) {
    auto at = path.find("zoneinfo/");
    if (at == std::string::npos) return "";
    std::string name = path.substr(at + 9);
    if (name.rfind("posix/", 0) == 0) name.erase(0, 6);
    if (name.rfind("right/", 0) == 0) name.erase(0, 6);
    return name;
}
}  // namespace

TimeZone TimeZone::gmt() {
    TimeZone z;
    z.identifier_ = "GMT";
    z.fixedOffset_ = 0;
    return z;
}

std::optional<TimeZone> TimeZone::fromSecondsFromGMT(int seconds) {
    if (std::abs(seconds) > 18 * 3600) return std::nullopt;
    TimeZone z;
    z.identifier_ = offsetIdentifier(seconds);
    z.fixedOffset_ = seconds;
    return z;
}

std::optional<TimeZone> TimeZone::fromIdentifier(std::string_view identifier) {
    if (identifier == "GMT" || identifier == "UTC") {
        TimeZone z = gmt();
        z.identifier_ = std::string(identifier);
        return z;
    }
    if (identifier.empty()) return std::nullopt;
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(
        icu::UnicodeString::fromUTF8(icu::StringPiece(identifier.data(), identifier.size()))));
    icu::UnicodeString id;
    if (!zone || zone->getID(id) == icu::UnicodeString("Etc/Unknown")) return std::nullopt;
    TimeZone z;
    z.identifier_ = std::string(identifier);
    auto rules = std::make_shared<Rules>();
    rules->zone = std::move(zone);
    z.rules_ = std::move(rules);
    return z;
}

std::optional<TimeZone> TimeZone::fromName(std::string_view name) {
    if (name == "Z" || name == "GMT" || name == "UTC") return fromIdentifier(name == "Z" ? "GMT" : name);
    std::string_view rest = name;
    if (rest.rfind("GMT", 0) == 0 || rest.rfind("UTC", 0) == 0) rest.remove_prefix(3);
    int seconds = 0;
    if (parseOffset(rest, seconds)) return fromSecondsFromGMT(seconds);
    return fromIdentifier(name);
}

TimeZone TimeZone::current() {
    if (const char* tz = std::getenv("TZ")) {
        std::string name = tz;
        if (!name.empty() && name[0] == ':') name.erase(0, 1);
        if (name.empty()) return gmt();
        if (name[0] == '/') name = zoneFromPath(name);
        if (auto z = fromIdentifier(name)) return *z;
        return gmt();
    }
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/etc/localtime", buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = 0;
        if (auto z = fromIdentifier(zoneFromPath(buf))) return *z;
    }
    std::ifstream file("/etc/timezone");
    std::string line;
    if (std::getline(file, line))
        if (auto z = fromIdentifier(line)) return *z;
    return gmt();
}

int TimeZone::secondsFromGMT(Date at) const {
    if (fixedOffset_ || !rules_) return fixedOffset_.value_or(0);
    int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    rules_->zone->getOffset(at.timeIntervalSince1970() * 1000.0, false, raw, dst, status);
    if (U_FAILURE(status)) return 0;
    return (raw + dst) / 1000;
}

bool TimeZone::isDaylightSavingTime(Date at) const {
    if (!rules_) return false;
    int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    rules_->zone->getOffset(at.timeIntervalSince1970() * 1000.0, false, raw, dst, status);
    return U_SUCCESS(status) && dst != 0;
}

std::string TimeZone::abbreviation(Date at) const {
    if (rules_) {
        icu::UnicodeString name;
        rules_->zone->getDisplayName(isDaylightSavingTime(at), icu::TimeZone::SHORT, icu::Locale("en_US"), name);
        std::string out;
        name.toUTF8String(out);
        if (!out.empty() && out.rfind("GMT", 0) != 0) return out;
    }
    int s = secondsFromGMT(at);
    if (s == 0) return "GMT";
    int a = std::abs(s) / 60;
    std::string out = std::string("GMT") + (s < 0 ? "-" : "+") + std::to_string(a / 60);
    if (a % 60) {
        out += a % 60 < 10 ? ":0" : ":";
        out += std::to_string(a % 60);
    }
    return out;
}

}  // namespace platform
