// Sequences and descriptions of the "fg r,g,b;" colour dialect and its default scheme.
#include "logging/XcodeColorsLogFormatter.h"

#include "logging/ANSIColorLogFormatter.h"

namespace Scribe {

std::string XcodeColorsLogFormatter::XcodeColor::format() const {
    return std::to_string(r_) + "," + std::to_string(g_) + "," + std::to_string(b_);
}

std::string XcodeColorsLogFormatter::XcodeColor::description() const { return rgbDescription(r_, g_, b_); }

void XcodeColorsLogFormatter::colorize(Level level, const std::optional<XcodeColor>& foreground,
                                       const std::optional<XcodeColor>& background) {
    if (!foreground && !background) {
        formatStrings[level] = reset;
        descriptionStrings[level] = "None";
        return;
    }
    std::string sequence = foreground ? std::string(escape) + "fg" + foreground->format() + ";" : resetForeground;
    sequence += background ? std::string(escape) + "bg" + background->format() + ";" : resetBackground;
    formatStrings[level] = sequence;
    descriptionStrings[level] = (foreground ? foreground->description() : "Default") + " on " +
                                (background ? background->description() : "Default");
}

void XcodeColorsLogFormatter::resetFormatting() {
    colorize(Level::verbose, XcodeColor::Preset::lightGrey());
    colorize(Level::debug, XcodeColor::Preset::darkGrey());
    colorize(Level::info, XcodeColor::Preset::blue());
    colorize(Level::warning, XcodeColor::Preset::orange());
    colorize(Level::error, XcodeColor::Preset::red());
    colorize(Level::severe, XcodeColor::Preset::white(), XcodeColor::Preset::red());
    colorize(Level::none);
}

void XcodeColorsLogFormatter::clearFormatting() {
    for (auto level :
         {Level::verbose, Level::debug, Level::info, Level::warning, Level::error, Level::severe, Level::none}) {
        colorize(level);
    }
}

std::string XcodeColorsLogFormatter::format(LogDetails& logDetails, std::string& message) {
    auto found = formatStrings.find(logDetails.level);
    message = (found != formatStrings.end() ? found->second : std::string(reset)) + message + reset;
    return message;
}

std::string XcodeColorsLogFormatter::debugDescription() const {
    std::string text = "XcodeColorsLogFormatter: ";
    for (auto level : allLevels) {
        auto found = descriptionStrings.find(level);
        text += "\n\t- " + description(level) + " > " + (found != descriptionStrings.end() ? found->second : "None");
    }
    return text;
}

}  // namespace Scribe
