// Trimming text at both ends. Each caller names the characters it trims where they are
// narrower than all white space (HTTP trims only spaces and tabs, for instance).
#pragma once
#include <string_view>

namespace platform {

// Space, tab, line feed, carriage return, vertical tab and form feed.
inline constexpr std::string_view kWhitespace = " \t\n\r\v\f";

// `text` without the leading and trailing `characters`; a view into `text`.
constexpr std::string_view trimmed(std::string_view text, std::string_view characters = kWhitespace) {
    auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) return {};
    auto last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

}  // namespace platform
