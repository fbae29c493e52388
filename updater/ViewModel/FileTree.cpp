// The file-tree operations. Removal goes through rm, whose walk needs no recursion of
// ours however deep the tree; names are read from a folder opened without following a
// link, so a folder replaced by a link is never emptied through it.
#include "updater/ViewModel/FileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
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

struct TreeEntries {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

// Every regular file and folder of the tree (links are not followed), or false; false
// with `stray` set when the tree holds anything else (a FIFO, a socket, a device).
bool listTree(const std::string& root, TreeEntries& entries, std::string& stray) {
    static thread_local TreeEntries* collecting = nullptr;
    static thread_local std::string* strayFound = nullptr;
    collecting = &entries;
    strayFound = &stray;
    auto visit = [](const char* path, const struct stat* info, int kind, struct FTW*) {
        if (kind == FTW_D) collecting->folders.emplace_back(path);
        else if (kind == FTW_F && S_ISREG(info->st_mode)) collecting->files.emplace_back(path);
        else if (kind == FTW_F) *strayFound = path;
        const bool stop = kind == FTW_DNR || kind == FTW_NS || !strayFound->empty();
        return stop ? 1 : 0;
    };
    return ::nftw(root.c_str(), visit, 16, FTW_PHYS) == 0;
}

enum class SyncStep { startWriting, waitUntilWritten };

// The reason given for what a copied tree must not hold.
std::string strayEntry(const std::string& path) {
    return "copy incomplete: " + path + " is neither a file nor a folder";
}

// What one step of making a file or folder durable found.
enum class Synced { yes, failed, notItsKind };

// One step of making a file or folder durable. Starting the writing of every file first
// lets the disk take them all at once; the waits then find most of it done. The entry is
// opened without blocking and without following a link, so whatever replaced it since the
// listing (a FIFO would block a plain open for ever) is found by its kind, not waited on.
Synced syncEntry(const std::string& path, SyncStep step, bool folder) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0) return errno == ELOOP || errno == ENOTDIR ? Synced::notItsKind : Synced::failed;
    struct stat info;
    if (::fstat(fd, &info) != 0 || (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode))) {
        ::close(fd);
        return Synced::notItsKind;
    }
    bool ok = step == SyncStep::startWriting
                  ? ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE) == 0 || errno == EINVAL
                  : (folder ? ::fsync(fd) : ::fdatasync(fd)) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok ? Synced::yes : Synced::failed;
}

// Whether the step succeeded; `why` says what kept it from it.
bool syncedOrWhy(const std::string& path, bool folder, std::string& why) {
    switch (syncEntry(path, SyncStep::waitUntilWritten, folder)) {
        case Synced::yes: return true;
        case Synced::failed: why = "cannot write " + path + " to disk: " + std::strerror(errno); break;
        case Synced::notItsKind: why = strayEntry(path); break;
    }
    return false;
}

std::string parentFolder(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

bool syncTree(const std::string& root, std::string& why) {
    TreeEntries entries;
    std::string stray;
    if (!listTree(root, entries, stray)) {
        why = stray.empty() ? "cannot read " + root + ": " + std::strerror(errno) : strayEntry(stray);
        return false;
    }
    for (const auto& file : entries.files) syncEntry(file, SyncStep::startWriting, false);
    for (const auto& file : entries.files)
        if (!syncedOrWhy(file, false, why)) return false;
    entries.folders.push_back(parentFolder(root));
    for (const auto& folder : entries.folders)
        if (!syncedOrWhy(folder, true, why)) return false;
    return true;
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


}  // namespace Lanternfly_Updater
