// Checks run on property-list bytes before libplist parses them: the library aborts on
// some damaged input and recurses once per level of nesting, so input it cannot take
// safely is refused first. Each check is one pass over the bytes, without recursion.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

// The deepest nesting of arrays and dictionaries (the root counts as the first level)
// that the property-list readers take.
constexpr std::size_t kMaxPlistNesting = 513;

bool isBinaryPlist(std::string_view bytes);
// A string or key holding a NUL character (which makes the library's getters abort).
bool plistHoldsNulInText(std::string_view bytes);
// More than `maxLevels` levels of nesting. A binary list whose containers hold
// themselves, or whose trailer cannot be followed, counts as too deep.
bool plistNestsDeeperThan(std::string_view bytes, std::size_t maxLevels);

}  // namespace platform
