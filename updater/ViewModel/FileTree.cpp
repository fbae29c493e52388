// The file-tree operations. Removal goes through rm, whose walk needs no recursion of
// ours however deep the tree; names are read from a folder opened without following a
// link, so a folder replaced by a link is never emptied through it.
#include "updater/ViewModel/FileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <tuple>
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

// The files moved aside under one name that are kept for a look; older ones are removed.
constexpr std::size_t kMovedAsideKept = 5;

bool isDigits(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Where a name moved aside stands in time: its UTC stamp and the number added when that
// name was taken. None unless `name` is "<base>.invalid-YYYYMMDDTHHMMSSZ" with perhaps
// "-<number>" after it.
struct AsideName {
    std::string stamp;
    unsigned long number = 0;
};
std::optional<AsideName> movedAsideName(const std::string& name, const std::string& base) {
    const std::string prefix = base + ".invalid-";
    constexpr std::size_t kStampLength = 16;
    if (name.size() < prefix.size() + kStampLength || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    const std::string stamp = name.substr(prefix.size(), kStampLength);
    const std::string number = name.substr(prefix.size() + kStampLength);
    if (stamp[8] != 'T' || stamp[15] != 'Z' || !isDigits(stamp.substr(0, 8)) || !isDigits(stamp.substr(9, 6)))
        return std::nullopt;
    if (number.empty()) return AsideName{stamp, 0};
    if (number[0] != '-' || !isDigits(number.substr(1))) return std::nullopt;
    return AsideName{stamp, std::stoul(number.substr(1))};
}

// The order of age of the files moved aside, newest first. The one just moved aside is
// the newest, whatever the names beside it. A stamp later than its own was given while the
// clock ran ahead (it was set back since) and says nothing of when: those rank below every
// other, the latest of them first.
using AsideAge = std::tuple<bool, bool, std::string, unsigned long>;
AsideAge asideAge(const std::string& name, const AsideName& parts, const std::string& justMade,
                  const std::string& now) {
    return {name == justMade, parts.stamp <= now, parts.stamp, parts.number};
}

std::string lastComponent(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// Removes all but the newest `kMovedAsideKept` regular files moved aside as `path`'s in its
// folder, `justMade` having been moved aside now under the stamp `now`. Only regular files
// of that name are removed, by name within the folder: nothing is followed, and a link,
// FIFO or folder of that name stays.
void pruneMovedAside(const std::string& path, const std::string& justMade, const std::string& now) {
    const std::string base = lastComponent(path);
    const std::string made = lastComponent(justMade);
    int fd = ::open(parentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<std::pair<AsideAge, std::string>> aside;
    while (dirent* entry = ::readdir(dir)) {
        struct stat info;
        auto parts = movedAsideName(entry->d_name, base);
        if (parts && ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            aside.emplace_back(asideAge(entry->d_name, *parts, made, now), entry->d_name);
    }
    std::sort(aside.begin(), aside.end(), std::greater<>());
    for (std::size_t i = kMovedAsideKept; i < aside.size(); ++i) ::unlinkat(fd, aside[i].second.c_str(), 0);
    ::closedir(dir);
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

bool moveAsideAsInvalid(const std::string& path, std::string& aside) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    for (int attempt = 0; attempt < 100; ++attempt) {
        aside = path + ".invalid-" + stamp + (attempt ? "-" + std::to_string(attempt) : "");
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            pruneMovedAside(path, aside, stamp);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

}  // namespace Lanternfly_Updater
