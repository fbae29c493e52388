// Reading what a finished child process wrote to a pipe. Waiting for the child already
// drained the pipe (into a memory file behind the same descriptor, or into its reading
// handle); a background grandchild that inherited the pipe may still hold it open and
// write more, for as long and as much as it likes, so the read to the pipe's end is
// bounded by a deadline and by a size.
#pragma once
#include <chrono>
#include <cstddef>
#include <string>

#include "platform/base/Data.h"
#include "platform/files/Pipe.h"

namespace Pledge {

using OutputClock = std::chrono::steady_clock;

// How long after a child's exit its output is still collected.
inline constexpr auto lateOutputWindow = std::chrono::seconds(1);
// How much of what arrives after the exit is kept; the rest is not read.
inline constexpr std::size_t lateOutputLimit = std::size_t{1} << 20;

// What the wait collected, then what the pipe gives until its end, `deadline` or
// `lateOutputLimit` bytes; the reading handle is closed afterwards. Throws the POSIX
// error of a failed read.
platform::Data readOutputUntil(const platform::Pipe& pipe, OutputClock::time_point deadline);
// The same read straight into text, with no second copy; none when it is not UTF-8.
std::optional<std::string> readOutputTextUntil(const platform::Pipe& pipe, OutputClock::time_point deadline);

}  // namespace Pledge
