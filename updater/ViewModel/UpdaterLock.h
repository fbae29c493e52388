// One updater at a time per user: a lock file in the updater's data folder, held for the
// rest of the process once taken (the system releases it when the process ends, however
// it ends); and the removal of what an earlier run left behind.
#pragma once
#include <string>

namespace Lanternfly_Updater {

// Takes the lock "<folder>/updater.lock" for this process; true when this process holds
// it (also on later calls). False, with the reason, when another process holds it.
bool takeUpdaterLock(const std::string& folder, std::string& why);

// Removes everything inside `folder` (the folder itself stays).
void emptyFolder(const std::string& folder);

// Removes partial downloads that a killed run left in the temporary folder: those of
// processes that no longer run, and that no running download holds locked.
void removeAbandonedDownloads();

}  // namespace Lanternfly_Updater
