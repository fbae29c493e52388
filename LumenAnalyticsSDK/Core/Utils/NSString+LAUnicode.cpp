// Reading escaped Unicode sequences as characters, by the rules of a quoted
// property-list string.
#include "LumenAnalyticsSDK/Core/Utils/NSString+LAUnicode.h"

#include <optional>

#include "platform/foundation/UTF16.h"

namespace LumenAnalyticsSDK {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool holdsUnicodeEscape(std::string_view text) {
    for (std::size_t i = 0; i + 4 < text.size(); ++i) {
        if (text[i] != 'u' && text[i] != 'U') continue;
        bool hex = true;
        for (std::size_t k = 1; k <= 4 && hex; ++k) hex = hexDigit(text[i + k]) >= 0;
        if (hex) return true;
    }
    return false;
}

// One escape after a backslash at text[i - 1]; appends its UTF-16 units and moves i on.
void readEscape(std::string_view text, std::size_t& i, std::u16string& out) {
    char c = text[i++];
    switch (c) {
        case 'a': out += u'\a'; return;
        case 'b': out += u'\b'; return;
        case 'f': out += u'\f'; return;
        case 'n': out += u'\n'; return;
        case 'r': out += u'\r'; return;
        case 't': out += u'\t'; return;
        case 'v': out += u'\v'; return;
        case 'U': {
            unsigned value = 0;
            int digits = 0;
            for (; digits < 4 && i < text.size() && hexDigit(text[i]) >= 0; ++digits)
                value = value * 16 + static_cast<unsigned>(hexDigit(text[i++]));
            out += digits == 0 ? u'U' : static_cast<char16_t>(value);
            return;
        }
        default:
            if (c >= '0' && c <= '7') {
                unsigned value = static_cast<unsigned>(c - '0');
                for (int digits = 1; digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++digits)
                    value = value * 8 + static_cast<unsigned>(text[i++] - '0');
                out += static_cast<char16_t>(value & 0xFF);
                return;
            }
            --i;  // any other character stands for itself (", \, ' …), read as text below
            char32_t codePoint = 0;
            std::size_t length = platform::decodeUTF8CodePoint(text, i, codePoint);
            out += platform::toUTF16(length ? text.substr(i, length) : std::string_view("\xEF\xBF\xBD"));
            i += length ? length : 1;
    }
}

// The contents of `quoted` (which starts and ends with a quote) with escapes read;
// none when the quotes do not enclose exactly one string.
std::optional<std::string> readQuotedString(std::string_view quoted) {
    std::u16string out;
    std::size_t i = 1;
    while (i < quoted.size()) {
        char c = quoted[i];
        if (c == '"') break;
        if (c == '\\') {
            if (++i >= quoted.size()) return std::nullopt;
            readEscape(quoted, i, out);
            continue;
        }
        std::size_t start = i;
        while (i < quoted.size() && quoted[i] != '"' && quoted[i] != '\\') ++i;
        out += platform::toUTF16(quoted.substr(start, i - start));
    }
    if (i != quoted.size() - 1) return std::nullopt;  // unterminated, or text after the closing quote
    return platform::fromUTF16(out);
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

std::string lumen_unicodeString(std::string_view text) {
    if (!holdsUnicodeEscape(text)) return std::string(text);
    std::string quoted(text);
    replaceAll(quoted, "\\u", "\\U");
    replaceAll(quoted, "\"", "\\\"");
    quoted = "\"" + quoted + "\"";
    auto read = readQuotedString(quoted);
    if (!read) return std::string(text);
    replaceAll(*read, "\\r\\n", "\n");
    return *read;
}

}  // namespace LumenAnalyticsSDK
