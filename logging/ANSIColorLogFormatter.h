// Terminal colours for log lines through ANSI escape sequences, per level.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "logging/LogFormatterProtocol.h"

namespace Scribe {

class ANSIColorLogFormatter : public LogFormatterProtocol {
public:
    static constexpr const char* escape = "\033[";
    static constexpr const char* reset = "\033[m";

    struct ANSIColor {
        enum class Kind {
            rgb,
            colorIndex,
            black,
            red,
            green,
            yellow,
            blue,
            magenta,
            cyan,
            lightGrey,
            lightGray,
            darkGrey,
            darkGray,
            lightRed,
            lightGreen,
            lightYellow,
            lightBlue,
            lightMagenta,
            lightCyan,
            white,
            default_,
        };
        Kind kind = Kind::default_;
        int red = 0, green = 0, blue = 0;  // rgb
        int number = 0;                    // colorIndex

        static ANSIColor rgb(int red, int green, int blue) { return {Kind::rgb, red, green, blue, 0}; }
        static ANSIColor colorIndex(int number) { return {Kind::colorIndex, 0, 0, 0, number}; }
        ANSIColor(Kind kind = Kind::default_, int r = 0, int g = 0, int b = 0, int n = 0)
            : kind(kind), red(r), green(g), blue(b), number(n) {}

        std::string foregroundCode() const;
        std::string backgroundCode() const;
        // Shows the values as given, before clamping.
        std::string description() const;
    };

    enum class ANSIOption { bold, faint, italic, underline, blink, blinkFast, strikethrough };
    static std::string code(ANSIOption option);
    static std::string description(ANSIOption option);

    // Filled with the default colours.
    ANSIColorLogFormatter() { resetFormatting(); }

    std::map<Level, std::string> formatStrings;
    std::map<Level, std::string> descriptionStrings;

    void colorize(Level level, const ANSIColor& foreground = {}, const ANSIColor& background = {},
                  const std::vector<ANSIOption>& options = {});
    // A raw code, with or without its escape introducer; no "m" is added.
    void colorize(Level level, const std::string& custom);
    void resetFormatting();
    void clearFormatting();

    std::string format(LogDetails& logDetails, std::string& message) override;
    std::string debugDescription() const override;
};

// "(r: R, g: G, b: B) #RRGGBB", as colour descriptions show a colour.
std::string rgbDescription(int red, int green, int blue);

}  // namespace Scribe
