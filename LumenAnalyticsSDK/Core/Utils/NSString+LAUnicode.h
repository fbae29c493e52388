// Turns escaped Unicode sequences ("\u4e2d" or "\U4E2D") in a text into the characters
// they stand for, so that logged JSON shows readable text.
#pragma once
#include <string>
#include <string_view>

namespace LumenAnalyticsSDK {

// A text without "u" or "U" followed by four hexadecimal digits comes back unchanged.
// Otherwise the text is read as one quoted string with the usual backslash escapes;
// when it does not read as one (a lone trailing backslash, say), it comes back unchanged.
// A literal "\r\n" left in the result becomes a line feed.
std::string lumen_unicodeString(std::string_view text);

}  // namespace LumenAnalyticsSDK
