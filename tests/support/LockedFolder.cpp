#include "tests/support/LockedFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace testing_support {

namespace {

// Whether `path` is a folder of this user's (not a link to one).
bool isOwnFolder(const std::string& path) {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
}

void closeKeepingErrno(int descriptor) {
    const int error = errno;
    ::close(descriptor);
    errno = error;
}

int openFolder(const std::string& path, bool inherited) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | (inherited ? 0 : O_CLOEXEC));
}

// Locks the folder at `path` and answers the descriptor that holds the lock, or -1 when it
// cannot be opened, is held by another (and `wait` is false) or was removed or replaced
// before the lock was held.
int lockFolder(const std::string& path, bool wait, bool inherited) {
    const int folder = openFolder(path, inherited);
    if (folder < 0) return -1;
    struct stat locked, named;
    if (::flock(folder, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0 && ::fstat(folder, &locked) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev && locked.st_ino == named.st_ino)
        return folder;
    closeKeepingErrno(folder);
    return -1;
}

// What the mark of the folder `folder` holds says: the folder's device and inode, so that a
// copy of a run's folder (`cp -a` keeps the mark) is told from the folder the run made.
// Empty when the folder cannot be looked at.
std::string identityOf(int folder) {
    struct stat status;
    if (::fstat(folder, &status) != 0) return {};
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + "\n";
}

// Marks the folder whose lock `folder` holds as a test run's. Made under the lock, the mark
// never stands in a folder that a clean-up could take before its maker holds it.
bool markAsARunsFolder(int folder) {
    const std::string identity = identityOf(folder);
    const int mark = ::openat(folder, runMark, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (mark < 0) return false;
    const bool written =
        !identity.empty() && ::write(mark, identity.data(), identity.size()) == static_cast<ssize_t>(identity.size());
    closeKeepingErrno(mark);
    return written;
}

// Whether the folder `folder` holds is this user's and carries the mark its run made in it: a
// regular file of this user's (not a link, nor a FIFO someone planted) naming this very
// folder. Only the mark's first bytes are read, without waiting.
bool isMarkedAsARunsFolder(int folder) {
    struct stat status, mark;
    if (::fstat(folder, &status) != 0 || status.st_uid != ::geteuid()) return false;
    const int file = ::openat(folder, runMark, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) return false;
    char text[64];
    const bool regular = ::fstat(file, &mark) == 0 && S_ISREG(mark.st_mode) && mark.st_uid == ::geteuid();
    const ssize_t length = regular ? ::read(file, text, sizeof text) : -1;
    ::close(file);
    return length > 0 && std::string(text, static_cast<std::size_t>(length)) == identityOf(folder);
}

}  // namespace

LockedFolder makeLockedFolder(const std::string& parent, const std::string& prefix, bool inherited) {
    for (;;) {
        std::string path = parent + "/" + prefix + "XXXXXX";
        if (!::mkdtemp(path.data())) return {};
        if (const int lock = lockFolder(path, true, inherited); lock >= 0) {
            if (markAsARunsFolder(lock)) return {path, lock};
            const int error = errno;
            ::rmdir(path.c_str());
            ::close(lock);
            errno = error;
            return {};
        }
        // An older build's launch removed it before it was locked (this build's never removes
        // one without a mark): make another, unless it is still there and cannot be locked.
        if (isOwnFolder(path)) return {};
    }
}

bool isHeldFolder(const std::string& path) {
    if (!isOwnFolder(path)) return false;
    const int folder = openFolder(path, false);
    if (folder < 0) return false;
    const bool held = ::flock(folder, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(folder);
    return held;
}

void removeFoldersOfEndedRuns(const std::string& parent) {
    DIR* folder = ::opendir(parent.c_str());
    if (!folder) return;
    while (const dirent* entry = ::readdir(folder)) {
        if (std::strncmp(entry->d_name, scratchPrefix, std::strlen(scratchPrefix)) != 0) continue;
        const std::string path = parent + "/" + entry->d_name;
        if (!isOwnFolder(path)) continue;
        const int lock = lockFolder(path, false, false);
        if (lock < 0) continue;
        std::error_code ignored;
        if (isMarkedAsARunsFolder(lock)) std::filesystem::remove_all(path, ignored);
        ::close(lock);
    }
    ::closedir(folder);
}

}  // namespace testing_support
