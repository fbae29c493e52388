// Dates in property lists, read and written over their whole range. The library's own
// date getter and setter hold seconds in 32 bits (1932 to 2069), so every date is handed
// to it as a placeholder, the index of the date in a table kept beside the list, and the
// real value is read from the bytes before parsing and put into the bytes after writing.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Seconds since 2001-01-01T00:00:00Z from year 0000 to the end of year 9999: what the XML
// form can spell, and so what both forms read and write.
constexpr double kEarliestPlistDate = -63145526400.0;  // 0000-01-01T00:00:00Z
constexpr double kEndOfPlistDates = 252423993600.0;    // 10000-01-01T00:00:00Z
bool plistDateInRange(double seconds);

// "YYYY-MM-DDTHH:MM:SSZ" (a fraction of a second is read and dropped, as the XML form
// holds whole seconds); nothing for any other text or an impossible date.
std::optional<double> parseXMLPlistDate(std::string_view text);
// The XML text of a date in range, whole seconds (rounded down).
std::string xmlPlistDateText(double seconds);

// The placeholder the library is given for the date at `index`, and the index a
// placeholder the library answers stands for (nothing when it is none).
std::int32_t plistDatePlaceholder(std::size_t index);
std::optional<std::size_t> plistDateIndex(std::int32_t seconds, std::int32_t microseconds);

// A copy of the list's bytes with every date replaced by its placeholder, the dates in
// `dates`; nothing when a date is malformed or out of range, or there are too many.
std::optional<std::string> withPlistDatePlaceholders(std::string_view bytes, std::vector<double>& dates);
// Puts the dates back in place of the placeholders in bytes the library wrote.
bool replacePlistDatePlaceholders(std::string& bytes, const std::vector<double>& dates);

}  // namespace platform
