// The updater's lock and the clean-up of earlier runs' leftovers.
#include "updater/ViewModel/UpdaterLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/files/FileManager.h"

namespace Lanternfly_Updater {

namespace {

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

}  // namespace

UpdaterLock takeUpdaterLock(const std::string& folder, std::string& why) {
    static int held = -1;
    if (held >= 0) return UpdaterLock::taken;
    try {
        platform::FileManager::defaultManager()->createDirectory(folder, true);
    } catch (const platform::ErrorException&) {
    }
    struct stat info;
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        why = folder + " is not a folder of its own (missing, a link or a file)";
        return UpdaterLock::failed;
    }
    const std::string path = folder + "/updater.lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        return UpdaterLock::failed;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = path + " is not a regular file";
        ::close(fd);
        return UpdaterLock::failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        why = busy ? "another updater is running (" + path + " is locked)"
                   : "cannot lock " + path + ": " + std::strerror(errno);
        ::close(fd);
        return busy ? UpdaterLock::heldByAnother : UpdaterLock::failed;
    }
    held = fd;
    return UpdaterLock::taken;
}

void removeAbandonedDownloads() {
    std::string folder;
    try {
        folder = platform::FileManager::defaultManager()->temporaryDirectory().path();
    } catch (const platform::ErrorException&) {
        return;
    }
    for (const auto& name : entriesOf(folder)) {
        if (name.rfind("download-", 0) != 0 || name.size() < 4 || name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        // "download-<pid>-XXXXXX.tmp": a living process's file is its own business.
        const std::string rest = name.substr(9);
        const auto dash = rest.find('-');
        if (dash != std::string::npos && dash > 0 && rest.find_first_not_of("0123456789") == dash) {
            const pid_t owner = static_cast<pid_t>(std::atol(rest.substr(0, dash).c_str()));
            if (owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH) continue;
        }
        const std::string path = folder + "/" + name;
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        // A download in progress holds its file locked.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
        ::close(fd);
    }
}

}  // namespace Lanternfly_Updater
