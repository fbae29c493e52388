// Severity of a log line. Ordered by raw value: "enabled" means at or above a threshold.
#pragma once
#include <array>
#include <optional>
#include <string>

namespace Scribe {

enum class Level : int {
    verbose = 0,
    debug = 1,
    info = 2,
    notice = 3,
    warning = 4,
    error = 5,
    severe = 6,
    alert = 7,
    emergency = 8,
    none = 9,
};

// Built from a raw value: 0 to 9 only.
std::optional<Level> levelFromRawValue(int rawValue);
constexpr int rawValue(Level level) { return static_cast<int>(level); }
// "Verbose" … "None": the built-in name of each level.
const std::string& description(Level level);
inline bool isAtOrAbove(Level level, Level threshold) { return rawValue(level) >= rawValue(threshold); }

// All ten levels in raw-value order, and the nine that have a per-level entry point.
inline constexpr std::array<Level, 10> allLevels{Level::verbose,   Level::debug, Level::info,   Level::notice,
                                                 Level::warning,   Level::error, Level::severe, Level::alert,
                                                 Level::emergency, Level::none};
inline constexpr std::array<Level, 9> loggableLevels{Level::verbose, Level::debug,   Level::info,
                                                     Level::notice,  Level::warning, Level::error,
                                                     Level::severe,  Level::alert,   Level::emergency};

}  // namespace Scribe
