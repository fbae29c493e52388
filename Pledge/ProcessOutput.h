// Reading what a finished child process wrote to a pipe. Waiting for the child already
// drained the pipe into its reading handle; a background grandchild that inherited the
// pipe may still hold it open and write more, for as long as it likes, so the read to
// the pipe's end is bounded by a deadline.
#pragma once
#include <chrono>

#include "platform/base/Data.h"
#include "platform/files/Pipe.h"

namespace Pledge {

using OutputClock = std::chrono::steady_clock;

// How long after a child's exit its output is still collected.
inline constexpr auto lateOutputWindow = std::chrono::seconds(1);

// What the wait read ahead, then what the pipe gives until its end or `deadline`; the
// reading handle is closed afterwards. Throws the POSIX error of a failed read.
platform::Data readOutputUntil(const platform::Pipe& pipe, OutputClock::time_point deadline);

}  // namespace Pledge
