// Parsing of hexadecimal colour texts.
#include "updater/View/HexColor.h"
#include "platform/base/Trim.h"

#include <cctype>
#include <cstdlib>

namespace Lanternfly_Updater {

namespace {

std::string trimmedUpper(const std::string& text) {
    std::string out(platform::trimmed(text));
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// A pair of digits, or 0 when the pair does not scan as hexadecimal.
int component(const std::string& pair) {
    for (char c : pair)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return 0;
    return static_cast<int>(std::strtol(pair.c_str(), nullptr, 16));
}

}  // namespace

platform::NSColorPtr colorWithHexString(const std::string& hexString) {
    std::string text = trimmedUpper(hexString);
    // The length test runs before any prefix is removed.
    if (text.size() < 6) return platform::NSColor::clearColor();
    if (text.rfind("0X", 0) == 0) text.erase(0, 2);
    if (text.rfind("#", 0) == 0) text.erase(0, 1);
    if (text.size() != 6) return platform::NSColor::clearColor();
    return platform::NSColor::colorWithSRGBRed(component(text.substr(0, 2)) / 255.0,
                                               component(text.substr(2, 2)) / 255.0,
                                               component(text.substr(4, 2)) / 255.0, 1);
}

}  // namespace Lanternfly_Updater
