// One updater at a time per user: a lock file in the updater's data folder, held for the
// rest of the process once taken (the system releases it when the process ends, however
// it ends); and the removal of what an earlier run left behind.
#pragma once
#include <string>

namespace Lanternfly_Updater {

enum class UpdaterLock {
    taken,                  // this process holds it (also on later calls)
    takenInPlaceOfInvalid,  // taken after what stood at the lock's path, not a regular
                            // file, was moved aside (`why` says where)
    heldByAnother,          // another updater runs
    failed,                 // the lock cannot be taken: the data folder or lock file is unusable
};

// Takes the lock "<folder>/updater.lock" for this process. `folder` must be a real folder:
// a link there is refused, never followed. A link, FIFO or folder at the lock's path is
// moved aside as "updater.lock.invalid-<UTC time>" (never followed) unless another process
// of the user has the lock's name open, which may be an updater holding it. `why` says
// what kept the lock from being taken, and which file to look at.
UpdaterLock takeUpdaterLock(const std::string& folder, std::string& why);

// Removes partial downloads that a killed run left in the temporary folder: those of
// processes that no longer run, and that no running download holds locked.
void removeAbandonedDownloads();

}  // namespace Lanternfly_Updater
