// Running a child process as a runtime-facing promise.
#pragma once
#include <memory>

#include "Pledge/AnyPromise.h"
#include "Pledge/PLGErrorDomain.h"
#include "platform/files/Process.h"

namespace Pledge {

// Attaches two new pipes as the task's standard output and error (replacing what was
// set) and launches it. Status 0 after a normal exit fulfils with a PLGArray of
// (output text, error text, output data), a text being nil when not UTF-8. A launch
// failure rejects with the launch error; any other end (a status other than 0, a
// signal) with an error of PLGErrorDomain, code 9, carrying the texts and the status.
// Both pipes are drained while the task runs, so a task that writes a lot finishes.
// When a background grandchild keeps the pipes open, the texts take what arrives up to
// a second after the exit, and the promise resolves then at the latest.
AnyPromisePtr promise(const std::shared_ptr<platform::Process>& task);

}  // namespace Pledge
