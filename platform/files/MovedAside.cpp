// The aside rule: a stamped name beside the file, and only the newest few kept.
#include "platform/files/MovedAside.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <functional>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/files/PathParts.h"

namespace platform {

namespace {

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

// Removes all but the newest `kMovedAsideKept` regular files moved aside as `path`'s in its
// folder, `justMade` having been moved aside now under the stamp `now`. Only regular files
// of that name are removed, by name within the folder: nothing is followed, and a link,
// FIFO or folder of that name stays.
void pruneMovedAside(const std::string& path, const std::string& justMade, const std::string& now) {
    const std::string base = lastComponentOf(path);
    const std::string made = lastComponentOf(justMade);
    int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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

// Renames `path` to the first stamped name not taken; `stamp` is the UTC time in that name.
bool renameToFreeAsideName(const std::string& path, std::string& aside, std::string& stamp) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    stamp = text;
    for (int attempt = 0; attempt < 100; ++attempt) {
        aside = path + ".invalid-" + stamp + (attempt ? "-" + std::to_string(attempt) : "");
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

}  // namespace

bool moveAsideAsInvalid(const std::string& path, std::string& aside) {
    std::string stamp;
    if (!renameToFreeAsideName(path, aside, stamp)) return false;
    pruneMovedAside(path, aside, stamp);
    return true;
}

AsideOutcome moveAsideAsInvalid(const std::string& path, const FileIdentity& judged, std::string& aside) {
    std::string stamp;
    if (!renameToFreeAsideName(path, aside, stamp)) return AsideOutcome::failed;
    struct stat moved;
    if (::lstat(aside.c_str(), &moved) != 0 || FileIdentity::of(moved) != judged) {
        if (::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
            errno = ENOENT;
            return AsideOutcome::changed;
        }
        pruneMovedAside(path, aside, stamp);
        return AsideOutcome::displaced;
    }
    pruneMovedAside(path, aside, stamp);
    return AsideOutcome::moved;
}

}  // namespace platform
