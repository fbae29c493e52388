// One updater at a time per user: locks on the updater's data folder and on a lock file in
// it, held for the rest of the process once taken (the system releases them when the
// process ends, however it ends); and the removal of what an earlier run left behind.
#pragma once
#include <string>

namespace Lanternfly_Updater {

enum class UpdaterLock {
    taken,                   // this process holds it (also on later calls)
    takenInPlaceOfInvalid,   // taken after what stood at the lock's path, not a regular
                             // file, was moved aside (`why` says where)
    takenWithoutFolderLock,  // the lock file's lock alone: the file system cannot lock
                             // the data folder (NFS, CIFS; `why` says why)
    heldByAnother,           // another updater runs
    failed,                  // the lock cannot be taken: the data folder or lock file is unusable
};

// Takes the locks of `folder` itself and of "<folder>/updater.lock" for this process: the
// folder's keeps a second updater out even when the lock file is renamed or deleted under
// the first, the file's keeps out older updaters, which lock only the file. Where the
// folder's lock fails for another reason than another holder (NFS, CIFS), the file's alone
// is taken. `folder` must be a real folder: a link there is refused, never followed. A
// link, FIFO or folder at the lock's path is moved aside as
// "updater.lock.invalid-<UTC time>" (never followed), under the folder's lock only, unless
// another process of the user has the lock's name open, which may be an older updater
// holding it. `why` says what kept the lock from being taken, and which file to look at.
UpdaterLock takeUpdaterLock(const std::string& folder, std::string& why);

// Removes partial downloads that a killed run left in the temporary folder: those of
// processes that no longer run, and that no running download holds locked.
void removeAbandonedDownloads();

}  // namespace Lanternfly_Updater
