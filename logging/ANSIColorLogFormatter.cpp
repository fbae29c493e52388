// Codes and descriptions of ANSI colours and options, and the default colour scheme.
#include "logging/ANSIColorLogFormatter.h"

#include <algorithm>
#include <cstdio>

namespace Scribe {

namespace {

using Kind = ANSIColorLogFormatter::ANSIColor::Kind;

struct NamedColor {
    int foreground;
    const char* name;
};

// Foreground code (background is 10 more) and name of each plain colour.
NamedColor named(Kind kind) {
    switch (kind) {
        case Kind::black: return {30, "Black"};
        case Kind::red: return {31, "Red"};
        case Kind::green: return {32, "Green"};
        case Kind::yellow: return {33, "Yellow"};
        case Kind::blue: return {34, "Blue"};
        case Kind::magenta: return {35, "Magenta"};
        case Kind::cyan: return {36, "Cyan"};
        case Kind::lightGrey:
        case Kind::lightGray: return {37, "Light Grey"};
        case Kind::darkGrey:
        case Kind::darkGray: return {90, "Dark Grey"};
        case Kind::lightRed: return {91, "Light Red"};
        case Kind::lightGreen: return {92, "Light Green"};
        case Kind::lightYellow: return {93, "Light Yellow"};
        case Kind::lightBlue: return {94, "Light Blue"};
        case Kind::lightMagenta: return {95, "Light Magenta"};
        case Kind::lightCyan: return {96, "Light Cyan"};
        case Kind::white: return {97, "White"};
        default: return {39, "Default"};
    }
}

std::string clamped(int value) { return std::to_string(std::clamp(value, 0, 255)); }

}  // namespace

std::string rgbDescription(int red, int green, int blue) {
    char text[96];
    std::snprintf(text, sizeof text, "(r: %d, g: %d, b: %d) #%02X%02X%02X", red, green, blue, red, green, blue);
    return text;
}

std::string ANSIColorLogFormatter::ANSIColor::foregroundCode() const {
    if (kind == Kind::rgb) return "38;2;" + clamped(red) + ";" + clamped(green) + ";" + clamped(blue);
    if (kind == Kind::colorIndex) return "38;5;" + clamped(number);
    return std::to_string(named(kind).foreground);
}

std::string ANSIColorLogFormatter::ANSIColor::backgroundCode() const {
    if (kind == Kind::rgb) return "48;2;" + clamped(red) + ";" + clamped(green) + ";" + clamped(blue);
    if (kind == Kind::colorIndex) return "48;5;" + clamped(number);
    return std::to_string(named(kind).foreground + 10);
}

std::string ANSIColorLogFormatter::ANSIColor::description() const {
    if (kind == Kind::rgb) return rgbDescription(red, green, blue);
    if (kind == Kind::colorIndex) return "ANSI color index: " + std::to_string(number);
    return named(kind).name;
}

std::string ANSIColorLogFormatter::code(ANSIOption option) {
    static const char* codes[] = {"1", "2", "3", "4", "5", "6", "9"};
    return codes[static_cast<int>(option)];
}

std::string ANSIColorLogFormatter::description(ANSIOption option) {
    static const char* names[] = {"Bold", "Faint", "Italic", "Underline", "Blink", "Blink Fast", "Strikethrough"};
    return names[static_cast<int>(option)];
}

void ANSIColorLogFormatter::colorize(Level level, const ANSIColor& foreground, const ANSIColor& background,
                                     const std::vector<ANSIOption>& options) {
    std::string codes = foreground.foregroundCode() + ";" + background.backgroundCode();
    std::string text = foreground.description() + " on " + background.description();
    for (auto option : options) {
        codes += ";" + code(option);
        text += "/" + description(option);
    }
    formatStrings[level] = escape + codes + "m";
    descriptionStrings[level] = text;
}

void ANSIColorLogFormatter::colorize(Level level, const std::string& custom) {
    const std::string introducer = escape;
    if (custom.starts_with(introducer)) {
        formatStrings[level] = custom;
        descriptionStrings[level] = "Custom: " + custom.substr(introducer.size());
    } else {
        formatStrings[level] = introducer + custom;
        descriptionStrings[level] = "Custom: " + custom;
    }
}

void ANSIColorLogFormatter::resetFormatting() {
    colorize(Level::verbose, Kind::white, Kind::default_, {ANSIOption::bold});
    colorize(Level::debug, Kind::black, Kind::default_);
    colorize(Level::info, Kind::blue, Kind::default_);
    colorize(Level::warning, Kind::yellow, Kind::default_);
    colorize(Level::error, Kind::red, Kind::default_, {ANSIOption::bold});
    colorize(Level::severe, Kind::white, Kind::red);
    colorize(Level::none, Kind::default_, Kind::default_);
}

void ANSIColorLogFormatter::clearFormatting() {
    for (auto level :
         {Level::verbose, Level::debug, Level::info, Level::warning, Level::error, Level::severe, Level::none}) {
        colorize(level, Kind::default_, Kind::default_);
    }
}

std::string ANSIColorLogFormatter::format(LogDetails& logDetails, std::string& message) {
    auto found = formatStrings.find(logDetails.level);
    message = (found != formatStrings.end() ? found->second : std::string(reset)) + message + reset;
    return message;
}

std::string ANSIColorLogFormatter::debugDescription() const {
    std::string text = "ANSIColorLogFormatter: ";
    for (auto level : allLevels) {
        auto found = descriptionStrings.find(level);
        text += "\n\t- " + ::Scribe::description(level) + " > " +
                (found != descriptionStrings.end() ? found->second : "None");
    }
    return text;
}

}  // namespace Scribe
