// The file-tree operations. Removal goes through rm, whose walk needs no recursion of
// ours however deep the tree; names are read from a folder opened without following a
// link, so a folder replaced by a link is never emptied through it.
#include "updater/ViewModel/FileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "Common/Helper/CmdHelper.h"

namespace Lanternfly_Updater {

namespace {

void runQuietly(const std::string& tool, const std::vector<std::string>& arguments) {
    try {
        CmdHelper::exec(tool, arguments);
    } catch (const platform::ErrorException&) {}
}

bool isGone(const std::string& path, struct stat& info) { return ::lstat(path.c_str(), &info) != 0 && errno == ENOENT; }

}  // namespace

std::string joinPath(const std::string& folder, const std::string& name) {
    auto end = folder.find_last_not_of('/');
    std::string base = end == std::string::npos ? std::string() : folder.substr(0, end + 1);
    return base + "/" + name;
}

bool removeTree(const std::string& path) {
    struct stat info;
    runQuietly("/bin/rm", {"-rf", "--", path});
    if (isGone(path, info)) return true;
    // Only a real folder: the tool would change the mode of a link's target. Links met
    // inside are not followed.
    if (!S_ISDIR(info.st_mode)) return false;
    runQuietly("/bin/chmod", {"-R", "u+rwx", "--", path});
    runQuietly("/bin/rm", {"-rf", "--", path});
    return isGone(path, info);
}

bool emptyFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    bool emptied = true;
    for (const auto& name : names) emptied = removeTree(joinPath(folder, name)) && emptied;
    return emptied;
}

bool ensureRealFolder(const std::string& folder) {
    struct stat info;
    if (::lstat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return true;
        if (::unlink(folder.c_str()) != 0) return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 ||
           (errno == EEXIST && ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

bool moveAsideAsInvalid(const std::string& path, std::string& aside) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    for (int attempt = 0; attempt < 100; ++attempt) {
        aside = path + ".invalid-" + stamp + (attempt ? "-" + std::to_string(attempt) : "");
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

}  // namespace Lanternfly_Updater
