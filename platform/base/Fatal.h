// Programming errors the program cannot continue from. Network input, files and
// arguments never reach these: they are reported as error values instead.
#pragma once
#include <source_location>
#include <string_view>

#include "platform/base/CallerLocation.h"

namespace platform {

// Prints the message, gives the registered last-words handlers their bounded time
// (`LastWords.h`), and aborts.
[[noreturn]] void fatal(std::string_view message, std::source_location where = SKYREACH_CALLER_LOCATION);

// A precondition that only a programming error can break.
inline void precondition(bool condition, std::string_view message,
                         std::source_location where = SKYREACH_CALLER_LOCATION) {
    if (!condition) fatal(message, where);
}

}  // namespace platform
