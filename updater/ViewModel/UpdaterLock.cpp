// The updater's lock and the clean-up of earlier runs' leftovers.
#include "updater/ViewModel/UpdaterLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/files/FileManager.h"
#include "platform/net/DownloadFiles.h"
#include "updater/ViewModel/BundleSwap.h"
#include "platform/files/MovedAside.h"

namespace Lanternfly_Updater {

namespace {

enum class Attempt { taken, busy, unlockable, failed, notRegular };

// Closes `fd`, whose lock was refused with `errno`: `busy` when another holds it, else
// `unlockable` (NFS and CIFS refuse an exclusive lock on a descriptor open only for
// reading).
Attempt refused(int fd, const std::string& path, std::string& why) {
    const bool busy = errno == EWOULDBLOCK;
    why = busy ? "another updater is running (" + path + " is locked)"
               : "cannot lock " + path + ": " + std::strerror(errno);
    ::close(fd);
    return busy ? Attempt::busy : Attempt::unlockable;
}

// Locks what `fd`, open at `path`, names, and keeps `fd` in `held` for the rest of the
// process; closes it when the lock is not taken.
Attempt lockOpened(int fd, const std::string& path, int& held, std::string& why) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return refused(fd, path, why);
    held = fd;
    return Attempt::taken;
}

// Opens and locks the lock file at `path`; `notRegular` (nothing opened) when something
// other than a regular file stands there.
Attempt lockFileAt(const std::string& path, int& held, std::string& why) {
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return Attempt::notRegular;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        return Attempt::failed;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = path + " is not a regular file";
        ::close(fd);
        return Attempt::failed;
    }
    return lockOpened(fd, path, held, why);
}

bool isNumber(const char* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

// Whether process `pid` has anything open whose path starts with `path`: the lock file
// itself, deleted (" (deleted)") or renamed beside it, may be what it holds locked.
bool hasOpenBelowName(const std::string& pid, const std::string& path) {
    const std::string folder = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (!fds) return false;
    bool found = false;
    while (dirent* entry = ::readdir(fds)) {
        char target[PATH_MAX];
        const ssize_t length = ::readlinkat(::dirfd(fds), entry->d_name, target, sizeof target - 1);
        if (length > 0 && std::string(target, static_cast<std::size_t>(length)).rfind(path, 0) == 0) found = true;
        if (found) break;
    }
    ::closedir(fds);
    return found;
}

// Another process of this user that has the lock's name open: a running updater may
// hold its lock on a file that something else has since replaced.
std::optional<std::string> processWithLockOpen(const std::string& path) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return std::nullopt;
    const std::string self = std::to_string(::getpid());
    std::optional<std::string> found;
    while (dirent* entry = ::readdir(proc)) {
        struct stat info;
        const std::string pid = entry->d_name;
        if (!isNumber(entry->d_name) || pid == self) continue;
        if (::stat(("/proc/" + pid).c_str(), &info) != 0 || info.st_uid != ::getuid()) continue;
        if (hasOpenBelowName(pid, path)) found = pid;
        if (found) break;
    }
    ::closedir(proc);
    return found;
}

// Something other than a regular file stands at the lock's path (a link, a FIFO, a
// folder): no updater can hold a lock on it, so it is moved aside and the lock taken,
// unless a process still has the lock's name open (an older updater locked only the file).
// The caller holds the data folder's lock, so two updaters never both mend it.
UpdaterLock replaceInvalidLock(const std::string& path, int& held, std::string& why) {
    UpdaterLock outcome = UpdaterLock::failed;
    std::string aside;
    Attempt attempt = lockFileAt(path, held, why);
    if (attempt == Attempt::notRegular) {
        if (auto pid = processWithLockOpen(path)) {
            why = path + " is not a regular file and process " + *pid +
                  " has it open (an updater may hold its lock): look at " + path;
        } else if (!platform::moveAsideAsInvalid(path, aside)) {
            why = path + " is not a regular file and could not be moved aside (" + std::strerror(errno) +
                  "): look at " + path;
        } else {
            attempt = lockFileAt(path, held, why);
            if (attempt == Attempt::taken) why = "moved " + path + " (not a regular file) aside to " + aside;
        }
    }
    if (attempt == Attempt::taken) outcome = aside.empty() ? UpdaterLock::taken : UpdaterLock::takenInPlaceOfInvalid;
    if (attempt == Attempt::busy) outcome = UpdaterLock::heldByAnother;
    return outcome;
}

// Opens and locks the data folder itself, a real folder (a link there is refused, never
// followed). Its name may be changed under a running updater, but the folder it locked
// cannot be swapped for another one at that name while it still is the data folder.
// SKYREACH_UPDATER_FAULTS "no-folder-lock" has the lock refused as on NFS.
Attempt lockFolder(const std::string& folder, int& held, std::string& why) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const bool notAFolder = errno == ENOENT || errno == ELOOP || errno == ENOTDIR;
        why = notAFolder ? folder + " is not a folder of its own (missing, a link or a file)"
                         : "cannot open " + folder + ": " + std::strerror(errno);
        return Attempt::failed;
    }
    if (faultRequested("no-folder-lock")) {
        errno = EBADF;
        return refused(fd, folder, why);
    }
    return lockOpened(fd, folder, held, why);
}

// Takes the lock file's lock. What stands there in place of a lock file is moved aside
// only under the data folder's lock (`folderLocked`): without it two updaters could both
// move aside, one of them the lock file the other has just made and locked.
UpdaterLock lockFileInFolder(const std::string& folder, bool folderLocked, int& held, std::string& why) {
    const std::string path = folder + "/updater.lock";
    switch (lockFileAt(path, held, why)) {
        case Attempt::taken: return UpdaterLock::taken;
        case Attempt::busy: return UpdaterLock::heldByAnother;
        case Attempt::unlockable:
        case Attempt::failed: return UpdaterLock::failed;
        case Attempt::notRegular: break;
    }
    if (folderLocked) return replaceInvalidLock(path, held, why);
    why = path + " is not a regular file and is not moved aside while " + folder + " cannot be locked: look at " + path;
    return UpdaterLock::failed;
}

}  // namespace

UpdaterLock takeUpdaterLock(const std::string& folder, std::string& why) {
    static int heldFolder = -1;
    static int held = -1;
    if (held >= 0) return UpdaterLock::taken;
    try {
        platform::FileManager::defaultManager()->createDirectory(folder, true);
    } catch (const platform::ErrorException&) {}
    // The folder's lock keeps a second updater out whatever becomes of the lock file's
    // name; the file's lock keeps out older updaters, which lock only the file, and is the
    // one lock where the file system cannot lock a folder.
    const Attempt folderLock = lockFolder(folder, heldFolder, why);
    if (folderLock == Attempt::busy) return UpdaterLock::heldByAnother;
    if (folderLock == Attempt::failed) return UpdaterLock::failed;
    const std::string folderRefusal = why;
    const UpdaterLock outcome = lockFileInFolder(folder, folderLock == Attempt::taken, held, why);
    if (held < 0 && heldFolder >= 0) {
        ::close(heldFolder);
        heldFolder = -1;
    }
    if (held < 0 || folderLock == Attempt::taken) return outcome;
    why = folderRefusal + "; only " + folder +
          "/updater.lock is locked, so a second updater may start if it is renamed or deleted";
    return UpdaterLock::takenWithoutFolderLock;
}

void removeAbandonedDownloads() { platform::removeAbandonedDownloadFiles(); }

}  // namespace Lanternfly_Updater
