// Colours for log lines in the "ESC[fg r,g,b;" escape dialect, per level.
#pragma once
#include <concepts>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "logging/LogFormatterProtocol.h"

namespace Scribe {

class XcodeColorsLogFormatter : public LogFormatterProtocol {
public:
    static constexpr const char* escape = "\033[";
    static constexpr const char* resetForeground = "\033[fg;";
    static constexpr const char* resetBackground = "\033[bg;";
    static constexpr const char* reset = "\033[;";

    // A colour whose components are 0-255; a component outside that range is stored as 0.
    class XcodeColor {
    public:
        XcodeColor(int red = 255, int green = 255, int blue = 255) { set(red, green, blue); }
        // From a platform colour, a colour object whose red, green and blue components run
        // from 0 to 1 in the calibrated RGB space (as `platform::NSColor` keeps them): each
        // component times 255, truncated. No colour to convert gives black.
        template <class Color>
            requires requires(const Color& c) {
                         { c.redComponent() } -> std::convertible_to<double>;
                         { c.greenComponent() } -> std::convertible_to<double>;
                         { c.blueComponent() } -> std::convertible_to<double>;
                     }
        explicit XcodeColor(const std::shared_ptr<Color>& color) {
            if (color)
                set(scaled(color->redComponent()), scaled(color->greenComponent()), scaled(color->blueComponent()));
        }
        int red() const { return r_; }
        int green() const { return g_; }
        int blue() const { return b_; }
        void setRed(int value) { r_ = valid(value); }
        void setGreen(int value) { g_ = valid(value); }
        void setBlue(int value) { b_ = valid(value); }
        std::string format() const;  // "r,g,b"
        std::string description() const;

        // The named colours.
        struct Preset {
            static XcodeColor red() { return {255, 0, 0}; }
            static XcodeColor green() { return {0, 255, 0}; }
            static XcodeColor blue() { return {0, 0, 255}; }
            static XcodeColor black() { return {0, 0, 0}; }
            static XcodeColor white() { return {255, 255, 255}; }
            static XcodeColor lightGrey() { return {211, 211, 211}; }
            static XcodeColor darkGrey() { return {169, 169, 169}; }
            static XcodeColor orange() { return {255, 165, 0}; }
            static XcodeColor purple() { return {170, 0, 170}; }
            static XcodeColor darkGreen() { return {0, 128, 0}; }
            static XcodeColor cyan() { return {0, 170, 170}; }
        };

    private:
        static int valid(int value) { return value >= 0 && value <= 255 ? value : 0; }
        // A component from 0 to 1 as 0-255; one outside that range gives -1 (stored as 0).
        static int scaled(double component) {
            const double value = component * 255;
            return value >= 0 && value < 256 ? static_cast<int>(value) : -1;
        }
        void set(int r, int g, int b) {
            r_ = valid(r);
            g_ = valid(g);
            b_ = valid(b);
        }
        int r_ = 0, g_ = 0, b_ = 0;
    };

    XcodeColorsLogFormatter() { resetFormatting(); }

    std::map<Level, std::string> formatStrings;
    std::map<Level, std::string> descriptionStrings;

    void colorize(Level level, const std::optional<XcodeColor>& foreground = std::nullopt,
                  const std::optional<XcodeColor>& background = std::nullopt);
    void resetFormatting();
    void clearFormatting();

    std::string format(LogDetails& logDetails, std::string& message) override;
    std::string debugDescription() const override;
};

}  // namespace Scribe
