// Running a callback once on a queue after a delay in seconds; the session's delayed
// retry goes through it.
#pragma once
#include <functional>

#include "platform/dispatch/DispatchQueue.h"

namespace Hawser {

// Schedules `execute` on `queue` at now + `delay` seconds and returns at once. The delay
// is not checked: zero or negative runs the callback as soon as the queue allows. The
// callback never runs on the calling thread.
void after(const platform::DispatchQueuePtr& queue, double delay, std::function<void()> execute);

}  // namespace Hawser
