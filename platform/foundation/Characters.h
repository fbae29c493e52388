// Counting text as a reader sees it: user-perceived characters (extended grapheme
// clusters), so "é" written as e + combining accent, or a flag of two regional
// indicators, is one character.
#pragma once
#include <cstddef>
#include <string_view>

namespace platform {

// The number of user-perceived characters of UTF-8 text; invalid bytes count as one each.
std::size_t characterCount(std::string_view utf8);

}  // namespace platform
