// Text forms of numbers, strings, dates and values as the platform language prints them.
#include "platform/foundation/TextForms.h"

#include <charconv>
#include <cmath>
#include <ctime>

#include "platform/foundation/UTF16.h"

namespace platform {

namespace {
// Lays out shortest digits (from scientific to_chars output) positionally or in
// exponent form.
std::string layoutShortest(const char* sci, bool exponential) {
    std::string s(sci);
    bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    auto e = s.find('e');
    int exponent = std::stoi(s.substr(e + 1));
    std::string mantissa = s.substr(0, e);
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits += c;
    std::string out = negative ? "-" : "";
    if (exponential) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "e-" : "e+";
        std::string ex = std::to_string(std::abs(exponent));
        if (ex.size() < 2) ex.insert(ex.begin(), '0');
        return out + ex;
    }
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else if (static_cast<std::size_t>(exponent) + 1 >= digits.size()) {
        out += digits;
        out.append(exponent + 1 - digits.size(), '0');
        out += ".0";
    } else {
        out += digits.substr(0, exponent + 1);
        out += '.';
        out += digits.substr(exponent + 1);
    }
    return out;
}

template <class F>
std::string shortestText(F v, double exponentialFrom) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    if (v == 0) return std::signbit(v) ? "-0.0" : "0.0";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::scientific);
    *r.ptr = 0;
    double mag = std::fabs(static_cast<double>(v));
    return layoutShortest(buf, mag < 1e-4 || mag >= exponentialFrom);
}

const char kHexDigits[] = "0123456789ABCDEF";
}  // namespace

std::string doubleText(double d) { return shortestText(d, 9007199254740992.0); }
std::string floatText(float f) { return shortestText(f, 16777216.0); }

std::string quotedText(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        std::size_t len = decodeUTF8CodePoint(s, i, cp);
        if (len == 0) {
            cp = 0xFFFD;
            len = 1;
        }
        switch (cp) {
            case '\0': out += "\\0"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '"': out += "\\\""; break;
            case '\'': out += "\\'"; break;
            case '\\': out += "\\\\"; break;
            default:
                if (cp < 0x20 || cp == 0x7F) {
                    out += "\\u{";
                    if (cp >= 16) out += kHexDigits[cp >> 4];
                    out += kHexDigits[cp & 15];
                    out += "}";
                } else {
                    appendUTF8(out, cp);
                }
        }
        i += len;
    }
    return out + "\"";
}

std::string dataText(const Data& d) { return std::to_string(d.count()) + " bytes"; }

std::string dateText(Date d) {
    double seconds = std::floor(d.timeIntervalSince1970());
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
    return buf;
}

std::string valueText(const Value& v, bool nested) {
    switch (v.kind()) {
        case Value::Kind::null: return "<null>";
        case Value::Kind::boolean: return *v.asBool() ? "true" : "false";
        case Value::Kind::int64: return std::to_string(*v.asInt64());
        case Value::Kind::uint64: return std::to_string(*v.asUInt64());
        case Value::Kind::real: return doubleText(*v.asDouble());
        case Value::Kind::string: return nested ? quotedText(*v.asString()) : *v.asString();
        case Value::Kind::data: return dataText(*v.asData());
        case Value::Kind::date: return dateText(*v.asDate());
        case Value::Kind::array:
        case Value::Kind::set: {
            const auto& items = v.isArray() ? *v.asArray() : v.asSet()->members;
            std::string out = "[";
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (i) out += ", ";
                out += valueText(items[i], true);
            }
            return out + "]";
        }
        case Value::Kind::dictionary: {
            const auto& d = *v.asDictionary();
            if (d.empty()) return "[:]";
            std::string out = "[";
            bool first = true;
            for (const auto& [key, value] : d) {
                if (!first) out += ", ";
                first = false;
                out += quotedText(key) + ": " + valueText(value, true);
            }
            return out + "]";
        }
        case Value::Kind::object: return "<object>";
    }
    return "";
}

}  // namespace platform
