// Reading strings tables: `"key" = "value";` entries with comments and escapes, in
// UTF-8 or UTF-16 (with a byte-order mark), or a property-list dictionary.
#include <cstdint>

#include "platform/files/Bundle.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/foundation/UTF16.h"

namespace platform {
namespace {

// UTF-16 with a byte-order mark to UTF-8; unpaired surrogates become U+FFFD and an odd
// trailing byte is dropped.
std::string textOfUTF16Bytes(const std::string& bytes, bool bigEndian) {
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        units += static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    return fromUTF16(units);
}

class Parser {
public:
    explicit Parser(const std::string& text) : s_(text) {}

    std::optional<std::map<std::string, std::string>> parse() {
        std::map<std::string, std::string> out;
        for (;;) {
            if (!skipSpaceAndComments()) return std::nullopt;
            if (at_ >= s_.size()) return out;
            auto key = token();
            if (!key) return std::nullopt;
            if (!skipSpaceAndComments() || at_ >= s_.size()) return std::nullopt;
            if (s_[at_] == ';') {  // `"key";` stands for `"key" = "key";`
                ++at_;
                out[*key] = *key;
                continue;
            }
            if (s_[at_] != '=') return std::nullopt;
            ++at_;
            if (!skipSpaceAndComments()) return std::nullopt;
            auto value = token();
            if (!value || !skipSpaceAndComments() || at_ >= s_.size() || s_[at_] != ';') return std::nullopt;
            ++at_;
            out[*key] = std::move(*value);
        }
    }

private:
    // False for an unterminated block comment.
    bool skipSpaceAndComments() {
        while (at_ < s_.size()) {
            char c = s_[at_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++at_;
            } else if (s_.compare(at_, 2, "//") == 0) {
                while (at_ < s_.size() && s_[at_] != '\n') ++at_;
            } else if (s_.compare(at_, 2, "/*") == 0) {
                auto end = s_.find("*/", at_ + 2);
                if (end == std::string::npos) return false;
                at_ = end + 2;
            } else {
                break;
            }
        }
        return true;
    }

    static bool unquotedChar(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
               c == '$' || c == ':' || c == '/' || c == '-';
    }

    std::optional<std::uint32_t> hex(std::size_t digits) {
        if (at_ + digits > s_.size()) return std::nullopt;
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            char c = s_[at_ + i];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= c - '0';
            else if (c >= 'a' && c <= 'f') v |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') v |= c - 'A' + 10;
            else return std::nullopt;
        }
        at_ += digits;
        return v;
    }

    std::optional<std::string> token() {
        if (at_ >= s_.size()) return std::nullopt;
        if (s_[at_] != '"') {
            std::size_t start = at_;
            while (at_ < s_.size() && unquotedChar(s_[at_])) ++at_;
            if (at_ == start) return std::nullopt;
            return s_.substr(start, at_ - start);
        }
        ++at_;
        std::string out;
        while (at_ < s_.size() && s_[at_] != '"') {
            char c = s_[at_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= s_.size()) return std::nullopt;
            char e = s_[at_++];
            switch (e) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'a': out += '\a'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'v': out += '\v'; break;
                case 'U':
                case 'u': {
                    auto cp = hex(4);
                    if (!cp) return std::nullopt;
                    if (*cp >= 0xD800 && *cp < 0xDC00 && s_.compare(at_, 2, "\\U") == 0) {
                        at_ += 2;
                        auto low = hex(4);
                        if (!low || *low < 0xDC00 || *low >= 0xE000) return std::nullopt;
                        appendUTF8(out, 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00));
                    } else {
                        appendUTF8(out, (*cp >= 0xD800 && *cp < 0xE000) ? 0xFFFD : *cp);
                    }
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {  // up to three octal digits
                        std::uint32_t v = e - '0';
                        for (int i = 0; i < 2 && at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '7'; ++i)
                            v = v * 8 + (s_[at_++] - '0');
                        appendUTF8(out, v);
                    } else {
                        out += e;  // \" \\ \' and anything else stand for themselves
                    }
            }
        }
        if (at_ >= s_.size()) return std::nullopt;  // unterminated
        ++at_;
        return out;
    }

    const std::string& s_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<std::map<std::string, std::string>> Bundle::parseStringsFile(const std::string& raw) {
    std::string text;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE)
        text = textOfUTF16Bytes(raw, false);
    else if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFE &&
             static_cast<unsigned char>(raw[1]) == 0xFF)
        text = textOfUTF16Bytes(raw, true);
    else if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) text = raw.substr(3);
    else text = raw;

    auto first = text.find_first_not_of(" \t\r\n");
    bool plist =
        text.compare(0, 6, "bplist") == 0 ||
        (first != std::string::npos && (text.compare(first, 5, "<?xml") == 0 || text.compare(first, 6, "<plist") == 0 ||
                                        text.compare(first, 9, "<!DOCTYPE") == 0));
    if (plist) {
        auto parsed = PropertyListSerialization::propertyList(Data::fromString(raw));
        if (!parsed.isSuccess() || !parsed.value().isDictionary()) return std::nullopt;
        std::map<std::string, std::string> out;
        for (auto& [k, v] : *parsed.value().asDictionary())
            if (auto s = v.asString()) out[k] = *s;
        return out;
    }
    return Parser(text).parse();
}

}  // namespace platform
