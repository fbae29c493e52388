// Stopping a bundle's running programs before the bundle is replaced: only the current
// user's processes whose executable file lies inside the bundle, so that a process of
// the same name started from elsewhere is left alone.
#pragma once
#include <string>
#include <vector>

namespace Lanternfly_Updater {

// The ids of the current user's processes (this one excepted) running a file below `bundle`.
std::vector<int> processesRunningFrom(const std::string& bundle);

// Asks those processes to end, and ends those still running after `graceSeconds` by force.
// Returns how many were found.
std::size_t stopProcessesRunningFrom(const std::string& bundle, double graceSeconds = 3.0);

}  // namespace Lanternfly_Updater
