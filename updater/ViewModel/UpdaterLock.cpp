// The updater's lock and the clean-up of earlier runs' leftovers.
#include "updater/ViewModel/UpdaterLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files/FileManager.h"
#include "platform/net/DownloadFiles.h"

namespace Lanternfly_Updater {

UpdaterLock takeUpdaterLock(const std::string& folder, std::string& why) {
    static int held = -1;
    if (held >= 0) return UpdaterLock::taken;
    try {
        platform::FileManager::defaultManager()->createDirectory(folder, true);
    } catch (const platform::ErrorException&) {}
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

void removeAbandonedDownloads() { platform::removeAbandonedDownloadFiles(); }

}  // namespace Lanternfly_Updater
