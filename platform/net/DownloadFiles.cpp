// Download files: their name, their lock, and the clean-up of abandoned ones.
#include "platform/net/DownloadFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/files/FileManager.h"
#include "platform/files/Process.h"

namespace platform {

namespace {

constexpr std::string_view namePrefix = "download-";
constexpr std::string_view nameSuffix = ".tmp";

bool isDownloadFileName(const std::string& name) {
    return name.size() >= namePrefix.size() + nameSuffix.size() && name.rfind(namePrefix, 0) == 0 &&
           name.compare(name.size() - nameSuffix.size(), nameSuffix.size(), nameSuffix) == 0;
}

// True when the name carries the id of a process that still runs (this one included).
bool ownerIsAlive(const std::string& name) {
    const std::string rest = name.substr(namePrefix.size());
    const auto dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || rest.find_first_not_of("0123456789") != dash) return false;
    const pid_t owner = static_cast<pid_t>(std::atol(rest.substr(0, dash).c_str()));
    return owner == ::getpid() || !processHasEnded(owner);
}

// Removes the file unless a download holds it locked.
void removeUnlessLocked(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    ::close(fd);
}

}  // namespace

int createDownloadFile(std::string& path) {
    std::string folder;
    try {
        folder = FileManager::defaultManager()->temporaryDirectory().path();
    } catch (const ErrorException&) {
        folder = "/tmp";
    }
    return createDownloadFile(folder, path);
}

int createDownloadFile(const std::string& folder, std::string& path) {
    std::string pattern =
        folder + "/" + std::string(namePrefix) + std::to_string(::getpid()) + "-XXXXXX" + std::string(nameSuffix);
    int fd = ::mkstemps(pattern.data(), static_cast<int>(nameSuffix.size()));
    if (fd < 0) return -1;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    lockDownloadFile(fd);
    path = pattern;
    return fd;
}

void lockDownloadFile(int fd) { ::flock(fd, LOCK_EX | LOCK_NB); }

void removeAbandonedDownloadFiles(const std::string& folder) {
    std::vector<std::string> names;
    try {
        names = FileManager::defaultManager()->contentsOfDirectory(folder);
    } catch (const ErrorException&) {
        return;
    }
    for (const auto& name : names) {
        if (isDownloadFileName(name) && !ownerIsAlive(name)) removeUnlessLocked(folder + "/" + name);
    }
}

void removeAbandonedDownloadFiles() {
    std::string folder;
    try {
        folder = FileManager::defaultManager()->temporaryDirectory().path();
    } catch (const ErrorException&) {
        return;
    }
    removeAbandonedDownloadFiles(folder);
}

}  // namespace platform
