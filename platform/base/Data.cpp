#include "platform/base/Data.h"
#include "platform/base/Hex.h"

#include <algorithm>

namespace platform {

namespace {
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

Data::Data(const void* bytes, std::size_t count) { append(bytes, count); }

void Data::append(const void* bytes, std::size_t count) {
    if (count == 0) return;
    auto p = static_cast<const std::uint8_t*>(bytes);
    bytes_.insert(bytes_.end(), p, p + count);
}

Data Data::subdata(std::size_t from, std::size_t length) const {
    if (from >= bytes_.size()) return {};
    std::size_t end = from + std::min(length, bytes_.size() - from);
    return Data(std::vector<std::uint8_t>(bytes_.begin() + from, bytes_.begin() + end));
}

std::optional<std::string> Data::utf8String() const {
    std::string text = toString();
    if (!isValidUTF8(text)) return std::nullopt;
    return text;
}

std::string Data::hexString() const { return hexEncoded(bytes_.data(), bytes_.size()); }

std::string Data::base64EncodedString() const {
    std::string out;
    out.reserve((bytes_.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes_.size(); i += 3) {
        std::uint32_t n = (bytes_[i] << 16) | (bytes_[i + 1] << 8) | bytes_[i + 2];
        out += {kBase64Alphabet[n >> 18], kBase64Alphabet[(n >> 12) & 63], kBase64Alphabet[(n >> 6) & 63],
                kBase64Alphabet[n & 63]};
    }
    if (std::size_t rest = bytes_.size() - i; rest > 0) {
        std::uint32_t n = bytes_[i] << 16;
        if (rest == 2) n |= bytes_[i + 1] << 8;
        out += kBase64Alphabet[n >> 18];
        out += kBase64Alphabet[(n >> 12) & 63];
        out += rest == 2 ? kBase64Alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<Data> Data::fromBase64IgnoringUnknownCharacters(std::string_view text) {
    std::string known;
    for (char c : text)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
            c == '=')
            known += c;
    return fromBase64(known);
}

std::optional<Data> Data::fromBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        bool last = i + 4 == text.size();
        int d[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                d[k] = 0;
                ++padding;
                continue;
            }
            if (padding > 0) return std::nullopt;  // data after padding
            d[k] = base64Digit(c);
            if (d[k] < 0) return std::nullopt;
        }
        std::uint32_t n = (d[0] << 18) | (d[1] << 12) | (d[2] << 6) | d[3];
        out.push_back(static_cast<std::uint8_t>(n >> 16));
        if (padding < 2) out.push_back(static_cast<std::uint8_t>((n >> 8) & 0xFF));
        if (padding < 1) out.push_back(static_cast<std::uint8_t>(n & 0xFF));
    }
    return Data(std::move(out));
}

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else return false;
        if (i + extra >= text.size()) return false;  // truncated sequence
        for (std::size_t k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are invalid.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000)) return false;
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace platform
