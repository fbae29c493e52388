// UTF-16 lengths and cuts over UTF-8 text.
#include "platform/foundation/UTF16.h"

#include <algorithm>

namespace platform {

std::size_t decodeUTF8CodePoint(std::string_view s, std::size_t i, char32_t& out) {
    if (i >= s.size()) return 0;
    unsigned char c = s[i];
    if (c < 0x80) {
        out = c;
        return 1;
    }
    std::size_t len;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07;
    else return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        unsigned char b = s[i + k];
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    out = cp;
    return len;
}

void appendUTF8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {
// Walks the text a code point at a time: byte length and UTF-16 units of each.
template <class F>
void forEachCodePoint(std::string_view s, F&& f) {
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        std::size_t len = decodeUTF8CodePoint(s, i, cp);
        std::size_t units = len == 4 ? 2 : 1;
        if (len == 0) len = 1;  // an invalid byte reads as one U+FFFD
        if (!f(i, len, units)) return;
        i += len;
    }
}
}  // namespace

std::size_t utf16Count(std::string_view s) {
    std::size_t n = 0;
    forEachCodePoint(s, [&](std::size_t, std::size_t, std::size_t units) {
        n += units;
        return true;
    });
    return n;
}

std::size_t utf8OffsetOfUTF16(std::string_view s, std::size_t target) {
    std::size_t units = 0, offset = s.size();
    forEachCodePoint(s, [&](std::size_t at, std::size_t, std::size_t u) {
        if (units + u > target) {
            offset = at;
            return false;
        }
        units += u;
        return true;
    });
    return offset;
}

std::size_t utf16OffsetOfUTF8(std::string_view s, std::size_t bytes) {
    std::size_t units = 0;
    forEachCodePoint(s, [&](std::size_t at, std::size_t len, std::size_t u) {
        if (at + len > bytes) return false;
        units += u;
        return true;
    });
    return units;
}

std::string utf16Prefix(std::string_view s, std::size_t units) {
    return std::string(s.substr(0, utf8OffsetOfUTF16(s, units)));
}

std::string utf16Substring(std::string_view s, std::size_t from, std::size_t length) {
    std::size_t total = utf16Count(s);
    from = std::min(from, total);
    std::size_t end = length > total - from ? total : from + length;
    // Start: round down (outward) to the code point holding unit `from`.
    std::size_t startByte = utf8OffsetOfUTF16(s, from);
    // End: round down (inward) so no half pair is kept.
    std::size_t endByte = utf8OffsetOfUTF16(s, end);
    if (endByte < startByte) endByte = startByte;
    return std::string(s.substr(startByte, endByte - startByte));
}

std::u16string toUTF16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0xFFFD;
        std::size_t len = decodeUTF8CodePoint(s, i, cp);
        if (len == 0) {
            cp = 0xFFFD;
            len = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string fromUTF16(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUTF8(out, c);
    }
    return out;
}

std::string sanitizedUTF8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        std::size_t len = decodeUTF8CodePoint(s, i, cp);
        if (len == 0) {
            appendUTF8(out, 0xFFFD);
            i += 1;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

}  // namespace platform
