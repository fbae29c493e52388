// Conversion between UTF-8 and named character sets over iconv.
#include "platform/foundation/StringEncoding.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <vector>

namespace platform {

namespace {
std::optional<std::string> convert(const char* from, const char* to, const char* in, std::size_t size) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    std::vector<char> buf(4096);
    char* src = const_cast<char*>(in);
    std::size_t left = size;
    bool ok = true;
    // A null source at the end flushes any shift state.
    for (bool flushing = false;;) {
        char* dst = buf.data();
        std::size_t room = buf.size();
        std::size_t r = flushing ? ::iconv(cd, nullptr, nullptr, &dst, &room) : ::iconv(cd, &src, &left, &dst, &room);
        out.append(buf.data(), dst);
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            ok = false;  // an invalid or unrepresentable sequence, or truncated input
            break;
        }
        if (flushing) break;
        if (left == 0) flushing = true;
    }
    ::iconv_close(cd);
    if (!ok) return std::nullopt;
    return out;
}
}  // namespace

std::optional<StringEncoding> StringEncoding::fromCharsetName(std::string_view name) {
    std::string upper;
    for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.empty() || upper.find_first_of(" /\t\"'") != std::string::npos) return std::nullopt;
    for (const auto& known : {utf8(), ascii(), isoLatin1(), isoLatin2(), windowsCP1252(), utf16(), utf16BigEndian(),
                              utf16LittleEndian(), utf32(), utf32BigEndian(), utf32LittleEndian()})
        if (known.name_ == upper) return known;
    iconv_t cd = ::iconv_open("UTF-8", upper.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    ::iconv_close(cd);
    return StringEncoding(upper);
}

std::optional<std::string> StringEncoding::decode(const Data& bytes) const {
    auto text = convert(name_.c_str(), "UTF-8", reinterpret_cast<const char*>(bytes.data()), bytes.count());
    // The converter passes some sequences that are not UTF-8 (code points past U+10FFFF
    // among them) through from UTF-8 input; what is answered is always UTF-8.
    if (text && !isValidUTF8(*text)) return std::nullopt;
    return text;
}

std::optional<Data> StringEncoding::encode(std::string_view utf8) const {
    auto out = convert("UTF-8", name_.c_str(), utf8.data(), utf8.size());
    if (!out) return std::nullopt;
    return Data::fromString(*out);
}

}  // namespace platform
