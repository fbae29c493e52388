// Character sets for percent-encoding and the encoding helpers over them.
#include "platform/foundation/CharacterSet.h"
#include "platform/base/Hex.h"
#include "platform/base/NoDestructor.h"

#include <unicode/uchar.h>

#include "platform/base/Data.h"
#include "platform/foundation/UTF16.h"

namespace platform {

namespace {
CharacterSet alnumPlus(std::string_view extra) {
    CharacterSet set = CharacterSet::fromCharacters("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    set.insert(extra);
    return set;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

CharacterSet CharacterSet::fromCharacters(std::string_view chars) {
    CharacterSet set;
    set.insert(chars);
    return set;
}

const CharacterSet& CharacterSet::alphanumerics() {
    static const NoDestructor<CharacterSet> set([] {
        CharacterSet s = alnumPlus("");
        s.beyondASCII_ = [](char32_t c) { return u_isalnum(static_cast<UChar32>(c)) != 0; };
        return s;
    }());
    return *set;
}
const CharacterSet& CharacterSet::urlQueryAllowed() {
    static const NoDestructor<CharacterSet> set(alnumPlus("!$&'()*+,-./:;=?@_~"));
    return *set;
}
const CharacterSet& CharacterSet::urlPathAllowed() {
    static const NoDestructor<CharacterSet> set(alnumPlus("!$&'()*+,-./:=@_~"));
    return *set;
}
const CharacterSet& CharacterSet::urlHostAllowed() {
    static const NoDestructor<CharacterSet> set(alnumPlus("!$&'()*+,-.:;=[]_~"));
    return *set;
}
const CharacterSet& CharacterSet::urlFragmentAllowed() {
    static const NoDestructor<CharacterSet> set(alnumPlus("!$&'()*+,-./:;=?@_~"));
    return *set;
}
const CharacterSet& CharacterSet::urlUserAllowed() {
    static const NoDestructor<CharacterSet> set(alnumPlus("!$&'()*+,-.;=_~"));
    return *set;
}
const CharacterSet& CharacterSet::urlPasswordAllowed() {
    static const NoDestructor<CharacterSet> set(alnumPlus("!$&'()*+,-.;=_~"));
    return *set;
}

bool CharacterSet::contains(char32_t c) const {
    if (c < 128) return ascii_.test(c);
    return beyondASCII_ && beyondASCII_(c);
}

void CharacterSet::insert(std::string_view chars) {
    for (unsigned char c : chars)
        if (c < 128) ascii_.set(c);
}

void CharacterSet::remove(std::string_view chars) {
    for (unsigned char c : chars)
        if (c < 128) ascii_.reset(c);
}

CharacterSet CharacterSet::inserting(std::string_view chars) const {
    CharacterSet copy = *this;
    copy.insert(chars);
    return copy;
}

CharacterSet CharacterSet::removing(std::string_view chars) const {
    CharacterSet copy = *this;
    copy.remove(chars);
    return copy;
}

std::string addingPercentEncoding(std::string_view text, const CharacterSet& allowed) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&out](unsigned char b) {
        out += '%';
        appendHex(out, b, HexCase::upper);
    };
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        std::size_t len = decodeUTF8CodePoint(text, i, cp);
        if (len == 0) {
            escape(static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (allowed.contains(cp)) out.append(text.substr(i, len));
        else
            for (std::size_t k = 0; k < len; ++k) escape(static_cast<unsigned char>(text[i + k]));
        i += len;
    }
    return out;
}

std::optional<std::string> removingPercentEncoding(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (!isValidUTF8(out)) return std::nullopt;
    return out;
}

}  // namespace platform
