// Names and raw values of the log levels.
#include "logging/Level.h"

namespace Scribe {

std::optional<Level> levelFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 9) return std::nullopt;
    return static_cast<Level>(rawValue);
}

const std::string& description(Level level) {
    static const std::array<std::string, 10> names{"Verbose", "Debug",  "Info",  "Notice",    "Warning",
                                                   "Error",   "Severe", "Alert", "Emergency", "None"};
    return names[static_cast<std::size_t>(rawValue(level))];
}

}  // namespace Scribe
