// Lengths and cuts in UTF-16 code units on UTF-8 text, for the places that count
// text as the platform's strings do. A cut never falls inside a code point; each
// invalid UTF-8 byte counts as one unit (it would read as U+FFFD).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

std::size_t utf16Count(std::string_view utf8);
// The longest prefix of at most `units` UTF-16 units.
std::string utf16Prefix(std::string_view utf8, std::size_t units);
// Units [from, from + length), clamped to the text; a boundary inside a surrogate
// pair moves outward at the start and inward at the end so no half pair is kept.
std::string utf16Substring(std::string_view utf8, std::size_t from, std::size_t length);
// The byte offset of UTF-16 offset `units` (clamped, rounded down to a code point).
std::size_t utf8OffsetOfUTF16(std::string_view utf8, std::size_t units);
// The UTF-16 offset of a byte offset (rounded down to a code point).
std::size_t utf16OffsetOfUTF8(std::string_view utf8, std::size_t bytes);

// Decodes the code point at byte `at`; answers its length in bytes, 0 when the bytes
// there are not valid UTF-8.
std::size_t decodeUTF8CodePoint(std::string_view utf8, std::size_t at, char32_t& codePoint);
// Appends the UTF-8 form of a code point.
void appendUTF8(std::string& out, char32_t codePoint);

std::u16string toUTF16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string fromUTF16(std::u16string_view utf16);
// Invalid sequences become U+FFFD.
std::string sanitizedUTF8(std::string_view bytes);

}  // namespace platform
