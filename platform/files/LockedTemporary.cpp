// The temporary a file is written through, locked while written, and its clean-up.
#include "platform/files/LockedTemporary.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/files/PathParts.h"
#include "platform/files/Process.h"

namespace platform {

namespace {

bool writeAll(int fd, const Data& bytes) {
    std::size_t done = 0;
    while (done < bytes.count()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.count() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool keepErrno(bool ok, const std::function<void()>& step) {
    const int error = errno;
    step();
    errno = error;
    return ok;
}

// A new temporary, created and locked; -1 (errno set) when none could be made. A name a
// clean-up holds (it found the file before the lock was ours) is dropped for the next one:
// that clean-up may have removed it already, or be about to.
int openLockedTemporary(const TemporaryWrite& write, std::string& name) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        name = write.nextName();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, write.mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return -1;
        struct stat info {};
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (locked && ::fstat(fd, &info) == 0 && info.st_nlink > 0) return fd;
        if (!locked && errno != EWOULDBLOCK) return fd;  // no lock to be had here: written unlocked
        ::unlink(name.c_str());  // the name is this writer's own: a clean-up leaves it or has removed it
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

// A temporary of an earlier version, which locked nothing, may still be written while
// its writer runs: young ones of a pid that runs here stay.
constexpr std::time_t kEarlierWriterSeconds = 3600;

bool mayBeWrittenUnlocked(pid_t writer, const struct stat& info) {
    return !processHasEnded(writer) && info.st_mtime > std::time(nullptr) - kEarlierWriterSeconds;
}

// An open descriptor of the temporary `name` in `folder` to take its lock by; read and
// write where allowed, since a network file system grants an exclusive lock only on such
// a descriptor.
int openToLock(int folder, const std::string& name) {
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::openat(folder, name.c_str(), O_RDWR | flags);
    if (fd >= 0 || errno != EACCES) return fd;
    return ::openat(folder, name.c_str(), O_RDONLY | flags);
}

// Removes the temporary `name` once its lock is this call's and the name still stands for
// the file locked.
bool removeIfAbandoned(int folder, const std::string& name, pid_t writer) {
    const int fd = openToLock(folder, name);
    if (fd < 0) return false;
    struct stat opened {
    }, named{};
    bool removable = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                     ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                     named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
                     !mayBeWrittenUnlocked(writer, opened);
    removable = removable && ::unlinkat(folder, name.c_str(), 0) == 0;
    ::close(fd);
    return removable;
}

// The writer that a temporary named "<stem><pid>" or "<stem><pid>-<number>" names; none
// for any other name.
std::optional<pid_t> writerAfterStem(std::string_view name, std::string_view stem) {
    if (name.substr(0, stem.size()) != stem) return std::nullopt;
    const std::string_view rest = name.substr(stem.size());
    const char* end = rest.data() + rest.size();
    pid_t pid = 0;
    auto [after, error] = std::from_chars(rest.data(), end, pid);
    if (error != std::errc() || pid <= 0) return std::nullopt;
    if (after == end) return pid;
    unsigned long number = 0;
    if (*after != '-') return std::nullopt;
    auto [last, numberError] = std::from_chars(after + 1, end, number);
    if (numberError != std::errc() || last != end) return std::nullopt;
    return pid;
}

}  // namespace

std::function<bool(const std::string& temporary)> renamingOnto(std::string path) {
    return [path = std::move(path)](const std::string& temporary) {
        return ::rename(temporary.c_str(), path.c_str()) == 0;
    };
}

bool writeThroughTemporary(const Data& bytes, const TemporaryWrite& write) {
    std::string temporary;
    const int fd = openLockedTemporary(write, temporary);
    if (fd < 0) return false;
    bool ok = writeAll(fd, bytes);
    if (ok && write.exactMode) ok = ::fchmod(fd, *write.exactMode) == 0;
    ok = ok && ::fsync(fd) == 0 && write.place(temporary);
    return keepErrno(ok, [&] {
        ::unlink(temporary.c_str());  // left when placed by a link, or not placed
        ::close(fd);                  // releases the lock
    });
}

std::size_t removeAbandonedTemporaries(const std::string& folder, const TemporaryWriterOf& writerOf) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR* listing = ::fdopendir(fd);
    if (!listing) {
        ::close(fd);
        return 0;
    }
    std::vector<std::pair<std::string, pid_t>> temporaries;
    while (const dirent* entry = ::readdir(listing))
        if (auto writer = writerOf(entry->d_name)) temporaries.emplace_back(entry->d_name, *writer);
    std::size_t removed = 0;
    for (const auto& [name, writer] : temporaries)
        if (removeIfAbandoned(fd, name, writer)) ++removed;
    ::closedir(listing);
    return removed;
}

std::size_t removeAbandonedTemporariesOf(const std::string& path, std::string_view marker) {
    const std::string stem = lastComponentOf(path) + std::string(marker);
    return removeAbandonedTemporaries(folderOf(path),
                                      [&](std::string_view name) { return writerAfterStem(name, stem); });
}

}  // namespace platform
