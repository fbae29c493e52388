// The updater's lock and the clean-up of earlier runs' leftovers.
#include "updater/ViewModel/UpdaterLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/files/FileManager.h"
#include "platform/net/DownloadFiles.h"
#include "updater/ViewModel/DownloadViewModel.h"

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

bool takeUpdaterLock(const std::string& folder, std::string& why) {
    static int held = -1;
    if (held >= 0) return true;
    try {
        platform::FileManager::defaultManager()->createDirectory(folder, true);
    } catch (const platform::ErrorException&) {
    }
    const std::string path = folder + "/updater.lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        why = errno == EWOULDBLOCK ? "another updater is running (" + path + " is locked)"
                                   : "cannot lock " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    held = fd;
    return true;
}

void emptyFolder(const std::string& folder) {
    for (const auto& name : entriesOf(folder)) removeTree(folder + "/" + name);
}

void removeAbandonedDownloads() { platform::removeAbandonedDownloadFiles(); }

}  // namespace Lanternfly_Updater
