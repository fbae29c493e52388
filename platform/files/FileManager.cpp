// File manager operations over POSIX calls. Moves never replace an existing item
// (renameat2 with RENAME_NOREPLACE), and copies land under a temporary name beside
// the destination before being renamed into place, so a failure leaves nothing half
// written at the destination.
#include "platform/files/FileManager.h"

#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"
#include "platform/files/LockedTemporary.h"
#include "platform/files/PathParts.h"
#include "platform/files/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string_view>

namespace platform {
namespace {

[[noreturn]] void fail(int e, const std::string& path, bool reading) {
    throw ErrorException(CocoaError::fromErrno(e, path, reading));
}

// An error carrying its errno so a failed step inside a copy reports the right code.
struct StepError {
    int error;
    std::string path;
    bool reading;
};

std::string envPath(const char* name) {
    const char* v = std::getenv(name);
    // The XDG rules ignore relative values.
    if (v && v[0] == '/') return v;
    return {};
}

std::string homePath() {
    if (auto home = envPath("HOME"); !home.empty()) return home;
    if (auto* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string uniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    return std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(rng() % 1000000000);
}

bool renameNoReplace(const std::string& from, const std::string& to, int* error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // The file system cannot promise "no replace"; check, then rename.
        struct stat st;
        if (::lstat(to.c_str(), &st) == 0) {
            *error = EEXIST;
            return false;
        }
        if (::rename(from.c_str(), to.c_str()) == 0) return true;
    }
    *error = errno;
    return false;
}

void copyTimes(int fd, const std::string& path, const struct stat& st, bool link) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (fd >= 0) ::futimens(fd, times);
    else ::utimensat(AT_FDCWD, path.c_str(), times, link ? AT_SYMLINK_NOFOLLOW : 0);
}

void copyRegular(const std::string& src, const std::string& dst, const struct stat& st) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw StepError{errno, src, true};
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        int e = errno;
        ::close(in);
        throw StepError{e, dst, false};
    }
    auto failWith = [&](StepError err) {
        ::close(in);
        ::close(out);
        throw err;
    };
    // copy_file_range first (it can share blocks); plain reads and writes where the
    // file systems cannot do it.
    bool ranged = true;
    bool copiedAny = false;
    while (ranged) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n > 0) {
            copiedAny = true;
            continue;
        }
        if (n == 0) break;
        if (errno == EINTR) continue;
        if (!copiedAny && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            ranged = false;
            break;
        }
        bool full = errno == ENOSPC || errno == EDQUOT;
        failWith({errno, full ? dst : src, !full});
    }
    while (!ranged) {
        char buffer[1 << 16];
        ssize_t r = ::read(in, buffer, sizeof buffer);
        if (r < 0) {
            if (errno == EINTR) continue;
            failWith({errno, src, true});
        }
        if (r == 0) break;
        for (ssize_t done = 0; done < r;) {
            ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(r - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                failWith({errno, dst, false});
            }
            done += w;
        }
    }
    ::fchmod(out, st.st_mode & 07777);
    copyTimes(out, dst, st, false);
    ::close(in);
    if (::close(out) < 0) throw StepError{errno, dst, false};
}

// Copies `src` to `dst` (which must not exist), keeping links as links and the
// permission bits and times of every item.
void copyTree(const std::string& src, const std::string& dst) {
    struct stat st;
    if (::lstat(src.c_str(), &st) < 0) throw StepError{errno, src, true};
    if (S_ISLNK(st.st_mode)) {
        std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
        ssize_t n;
        for (;;) {
            n = ::readlink(src.c_str(), target.data(), target.size());
            if (n < 0) throw StepError{errno, src, true};
            if (static_cast<std::size_t>(n) < target.size()) break;
            target.resize(target.size() * 2);
        }
        target.resize(static_cast<std::size_t>(n));
        if (::symlink(target.c_str(), dst.c_str()) < 0) throw StepError{errno, dst, false};
        copyTimes(-1, dst, st, true);
    } else if (S_ISDIR(st.st_mode)) {
        if (::mkdir(dst.c_str(), 0700) < 0) throw StepError{errno, dst, false};
        DIR* dir = ::opendir(src.c_str());
        if (!dir) throw StepError{errno, src, true};
        std::vector<std::string> names;
        errno = 0;
        while (auto* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
        for (auto& name : names) copyTree(src + "/" + name, dst + "/" + name);
        ::chmod(dst.c_str(), st.st_mode & 07777);
        copyTimes(-1, dst, st, false);
    } else if (S_ISREG(st.st_mode)) {
        copyRegular(src, dst, st);
    } else if (S_ISFIFO(st.st_mode)) {
        if (::mkfifo(dst.c_str(), st.st_mode & 07777) < 0) throw StepError{errno, dst, false};
    } else {
        throw StepError{ENOTSUP, src, true};
    }
}

void removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    if (ec) throw StepError{ec.value(), path, false};
}

// Copies `src` under a temporary name in `dst`'s folder, then renames it to `dst`
// without replacing anything. On failure nothing is left at either name.
void copyIntoPlace(const std::string& src, const std::string& dst) {
    const std::string folder = folderOf(dst);
    for (int attempt = 0;; ++attempt) {
        std::string temp = folder + "/." + lastComponentOf(dst) + ".sr-copy-" + uniqueSuffix();
        try {
            copyTree(src, temp);
        } catch (const StepError& e) {
            const bool nameTaken = e.error == EEXIST && e.path == temp;  // not ours to remove
            if (nameTaken && attempt < 8) continue;
            if (!nameTaken) {
                try {
                    removeTree(temp);
                } catch (...) {}
            }
            // The temporary name is ours; the caller asked about the destination.
            if (e.path.rfind(temp, 0) == 0) throw StepError{e.error, dst, e.reading};
            throw;
        }
        int error = 0;
        if (renameNoReplace(temp, dst, &error)) return;
        try {
            removeTree(temp);
        } catch (...) {}
        throw StepError{error, dst, false};
    }
}

ErrorPtr stepErrorToError(const StepError& e) { return CocoaError::fromErrno(e.error, e.path, e.reading); }

Date dateOf(std::int64_t sec, std::uint32_t nsec) {
    return Date::fromTimeIntervalSince1970(static_cast<double>(sec) + nsec / 1e9);
}

const char* typeName(mode_t mode) {
    if (S_ISREG(mode)) return FileAttributeType::typeRegular;
    if (S_ISDIR(mode)) return FileAttributeType::typeDirectory;
    if (S_ISLNK(mode)) return FileAttributeType::typeSymbolicLink;
    if (S_ISCHR(mode)) return FileAttributeType::typeCharacterSpecial;
    if (S_ISBLK(mode)) return FileAttributeType::typeBlockSpecial;
    if (S_ISSOCK(mode)) return FileAttributeType::typeSocket;
    return FileAttributeType::typeUnknown;
}

std::optional<mode_t> permissionsFrom(const Value::Dictionary& attributes) {
    auto it = attributes.find(FileAttributeKey::posixPermissions);
    if (it == attributes.end()) return std::nullopt;
    auto v = it->second.asInt64();
    if (!v || *v < 0 || *v > 07777) return std::nullopt;
    return static_cast<mode_t>(*v);
}

ErrorPtr xattrError(int e, const std::string& path, bool reading) {
    if (e == ENOTSUP || e == EOPNOTSUPP)
        return CocoaError::error(CocoaError::featureUnsupported, path, posixError(e, "extended attributes on " + path));
    return CocoaError::fromErrno(e, path, reading);
}

}  // namespace

std::string extendedAttributeSystemName(const std::string& name) {
    for (const char* ns : {"user.", "trusted.", "security.", "system."})
        if (name.rfind(ns, 0) == 0) return name;
    return "user." + name;
}

const std::shared_ptr<FileManager>& FileManager::defaultManager() {
    // Never destroyed: queues may still write files while the process exits.
    static const NoDestructor<std::shared_ptr<FileManager>> manager(std::make_shared<FileManager>());
    return *manager;
}

std::vector<URL> FileManager::urls(SearchPathDirectory directory, SearchPathDomainMask) const {
    std::string path;
    switch (directory) {
        case SearchPathDirectory::applicationSupportDirectory:
        case SearchPathDirectory::libraryDirectory:
            path = envPath("XDG_DATA_HOME");
            if (path.empty()) path = homePath() + "/.local/share";
            break;
        case SearchPathDirectory::documentDirectory:
            path = envPath("XDG_DOCUMENTS_DIR");
            if (path.empty()) path = homePath() + "/Documents";
            break;
        case SearchPathDirectory::cachesDirectory:
            path = envPath("XDG_CACHE_HOME");
            if (path.empty()) path = homePath() + "/.cache";
            break;
    }
    return {URL::fileURL(path, true)};
}

URL FileManager::homeDirectoryForCurrentUser() const { return URL::fileURL(homePath(), true); }

URL FileManager::temporaryDirectory() const {
    std::string base = envPath("TMPDIR");
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base.empty()) base = "/tmp";
    const uid_t uid = ::getuid();
    const std::string shared = base + "/skyreach-" + std::to_string(uid);

    auto isOurs = [uid](const std::string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 077) == 0;
    };
    if (::mkdir(shared.c_str(), 0700) == 0 || (errno == EEXIST && isOurs(shared))) {
        if (isOurs(shared)) return URL::fileURL(shared, true);
    }
    // Someone else holds the name (or it is not private): use a folder of our own.
    static NoDestructor<Protected<std::map<std::string, std::string>>> fallbacks;
    return fallbacks->write([&](auto& made) {
        auto& fallback = made[base];
        if (fallback.empty() || !isOurs(fallback)) {
            std::string pattern = shared + "-XXXXXX";
            if (::mkdtemp(pattern.data())) fallback = pattern;
            else return URL::fileURL(base, true);
        }
        return URL::fileURL(fallback, true);
    });
}

std::string FileManager::currentDirectoryPath() const {
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string() : p.string();
}

bool FileManager::fileExists(const std::string& path, bool* isDirectory) const {
    // Links are followed: a dangling link answers false, as the platform does.
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) < 0) return false;
    if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
    return true;
}

bool FileManager::isReadableFile(const std::string& path) const { return ::access(path.c_str(), R_OK) == 0; }
bool FileManager::isWritableFile(const std::string& path) const { return ::access(path.c_str(), W_OK) == 0; }
bool FileManager::isExecutableFile(const std::string& path) const {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}
bool FileManager::isDeletableFile(const std::string& path) const {
    return ::access(folderOf(path).c_str(), W_OK | X_OK) == 0;
}

void FileManager::createDirectory(const std::string& path, bool withIntermediateDirectories,
                                  const Value::Dictionary& attributes) const {
    if (path.empty()) fail(ENOENT, path, false);
    auto mode = permissionsFrom(attributes);
    auto makeOne = [&](const std::string& p, bool last) {
        if (::mkdir(p.c_str(), 0777) == 0) {
            if (last && mode) ::chmod(p.c_str(), *mode);
            return;
        }
        int e = errno;
        struct stat st;
        if (e == EEXIST && withIntermediateDirectories && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
        fail(e, p, false);
    };
    if (withIntermediateDirectories) {
        for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
            std::string prefix = path.substr(0, at);
            if (!prefix.empty() && prefix.back() != '/') makeOne(prefix, false);
        }
    }
    std::string full = path;
    while (full.size() > 1 && full.back() == '/') full.pop_back();
    makeOne(full, true);
}

void FileManager::createDirectory(const URL& url, bool withIntermediateDirectories,
                                  const Value::Dictionary& attributes) const {
    createDirectory(url.path(), withIntermediateDirectories, attributes);
}

void FileManager::moveItem(const std::string& src, const std::string& dst) const {
    struct stat st;
    if (::lstat(src.c_str(), &st) < 0) fail(errno, src, false);
    if (::lstat(dst.c_str(), &st) == 0) fail(EEXIST, dst, false);
    int error = 0;
    if (renameNoReplace(src, dst, &error)) return;
    if (error != EXDEV) fail(error, error == EEXIST || error == ENOSPC ? dst : src, false);
    // Another file system: copy, then remove the source once the copy is in place.
    try {
        copyIntoPlace(src, dst);
        removeTree(src);
    } catch (const StepError& e) {
        throw ErrorException(stepErrorToError(e));
    }
}

void FileManager::moveItem(const URL& src, const URL& dst) const { moveItem(src.path(), dst.path()); }

void FileManager::copyItem(const std::string& src, const std::string& dst) const {
    struct stat st;
    if (::lstat(src.c_str(), &st) < 0) fail(errno, src, true);
    if (::lstat(dst.c_str(), &st) == 0) fail(EEXIST, dst, false);
    try {
        copyIntoPlace(src, dst);
    } catch (const StepError& e) {
        throw ErrorException(stepErrorToError(e));
    }
}

void FileManager::copyItem(const URL& src, const URL& dst) const { copyItem(src.path(), dst.path()); }

void FileManager::removeItem(const std::string& path) const {
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) < 0) fail(path.empty() ? ENOENT : errno, path, false);
    try {
        removeTree(path);
    } catch (const StepError& e) {
        throw ErrorException(stepErrorToError(e));
    }
}

void FileManager::removeItem(const URL& url) const { removeItem(url.path()); }

Value::Dictionary FileManager::attributesOfItem(const std::string& path) const {
    struct statx sx;
    std::memset(&sx, 0, sizeof sx);
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) < 0)
        fail(errno, path, true);
    Value::Dictionary out;
    out[FileAttributeKey::size] = Value(static_cast<std::uint64_t>(sx.stx_size));
    out[FileAttributeKey::type] = Value(typeName(sx.stx_mode));
    out[FileAttributeKey::posixPermissions] = Value(static_cast<std::int64_t>(sx.stx_mode & 07777));
    Date modified = dateOf(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    out[FileAttributeKey::modificationDate] = Value(modified);
    // Not every file system records a birth time; the modification time stands in.
    out[FileAttributeKey::creationDate] =
        Value((sx.stx_mask & STATX_BTIME) ? dateOf(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec) : modified);
    out[FileAttributeKey::ownerAccountID] = Value(static_cast<std::uint64_t>(sx.stx_uid));
    out[FileAttributeKey::groupOwnerAccountID] = Value(static_cast<std::uint64_t>(sx.stx_gid));
    out[FileAttributeKey::referenceCount] = Value(static_cast<std::uint64_t>(sx.stx_nlink));
    out[FileAttributeKey::systemNumber] =
        Value(static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor)));
    out[FileAttributeKey::systemFileNumber] = Value(static_cast<std::uint64_t>(sx.stx_ino));
    return out;
}

void FileManager::setAttributes(const Value::Dictionary& attributes, const std::string& path) const {
    if (auto it = attributes.find(FileAttributeKey::posixPermissions); it != attributes.end()) {
        auto mode = permissionsFrom(attributes);
        if (!mode)
            throw ErrorException(
                CocoaError::error(CocoaError::fileWriteUnknown, path, posixError(EINVAL, "permissions")));
        if (::chmod(path.c_str(), *mode) < 0) fail(errno, path, false);
    }
    if (auto it = attributes.find(FileAttributeKey::modificationDate); it != attributes.end()) {
        auto date = it->second.asDate();
        if (!date)
            throw ErrorException(
                CocoaError::error(CocoaError::fileWriteUnknown, path, posixError(EINVAL, "modification date")));
        double t = date->timeIntervalSince1970();
        struct timespec times[2];
        times[0].tv_nsec = UTIME_OMIT;
        times[0].tv_sec = 0;
        times[1].tv_sec = static_cast<time_t>(std::floor(t));
        times[1].tv_nsec = static_cast<long>((t - std::floor(t)) * 1e9);
        if (::utimensat(AT_FDCWD, path.c_str(), times, 0) < 0) fail(errno, path, false);
    }
}

std::vector<std::string> FileManager::contentsOfDirectory(const std::string& path) const {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) fail(errno, path, true);
    std::vector<std::string> names;
    while (auto* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    return names;
}

std::vector<URL> FileManager::contentsOfDirectory(const URL& url, const std::vector<std::string>&,
                                                  DirectoryEnumerationOptions options) const {
    std::string folder = url.path();
    std::vector<URL> out;
    for (auto& name : contentsOfDirectory(folder)) {
        if (options.contains(DirectoryEnumerationOption::skipsHiddenFiles) && name[0] == '.') continue;
        std::string full = folder == "/" ? "/" + name : folder + "/" + name;
        struct stat st;
        bool isDir = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        out.push_back(URL::fileURL(full, isDir));
    }
    return out;
}

std::optional<Data> FileManager::contents(const std::string& path) const {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st;
    if (::fstat(fd, &st) < 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    Data data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

bool FileManager::createFile(const std::string& path, const std::optional<Data>& contents,
                             const Value::Dictionary& attributes) const {
    if (path.empty()) return false;
    TemporaryWrite write;
    write.nextName = [&] { return folderOf(path) + "/." + lastComponentOf(path) + ".sr-new-" + uniqueSuffix(); };
    write.exactMode = permissionsFrom(attributes);
    write.place = renamingOnto(path);
    return writeThroughTemporary(contents.value_or(Data()), write);
}

namespace {

// The writer of a temporary file of `createFile` for a name starting with `namePrefix`:
// ".<namePrefix>…sr-new-<pid>-<counter>-<random>".
std::optional<pid_t> writerOf(std::string_view name, const std::string& namePrefix) {
    constexpr std::string_view marker = ".sr-new-";
    const auto at = name.rfind(marker);
    if (name.size() <= namePrefix.size() || name[0] != '.' || name.substr(1, namePrefix.size()) != namePrefix ||
        at == std::string_view::npos || at <= namePrefix.size())
        return std::nullopt;
    const std::string digits(name.substr(at + marker.size()));
    char* end = nullptr;
    errno = 0;
    long pid = std::strtol(digits.c_str(), &end, 10);
    if (errno != 0 || end == digits.c_str() || *end != '-' || pid <= 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}

}  // namespace

std::size_t FileManager::removeAbandonedNewFiles(const std::string& folder, const std::string& namePrefix) const {
    return removeAbandonedTemporaries(folder, [&](std::string_view name) { return writerOf(name, namePrefix); });
}

bool FileManager::contentsEqual(const std::string& path1, const std::string& path2) const {
    auto a = contents(path1), b = contents(path2);
    return a && b && *a == *b;
}

void FileManager::setExtendedAttribute(const std::string& name, const Data& value, const std::string& path) const {
    const std::string sys = extendedAttributeSystemName(name);
    if (::setxattr(path.c_str(), sys.c_str(), value.data(), value.count(), 0) < 0) {
        throw ErrorException(xattrError(errno, path, false));
    }
}

std::optional<Data> FileManager::extendedAttribute(const std::string& name, const std::string& path) const {
    const std::string sys = extendedAttributeSystemName(name);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t size = ::getxattr(path.c_str(), sys.c_str(), nullptr, 0);
        if (size < 0) {
            if (errno == ENODATA) return std::nullopt;
            throw ErrorException(xattrError(errno, path, true));
        }
        Data data;
        data.resize(static_cast<std::size_t>(size));
        ssize_t got = ::getxattr(path.c_str(), sys.c_str(), data.mutableData(), data.count());
        if (got >= 0) {
            data.resize(static_cast<std::size_t>(got));
            return data;
        }
        if (errno == ENODATA) return std::nullopt;
        // The value grew between the two calls: ask again.
        if (errno != ERANGE) throw ErrorException(xattrError(errno, path, true));
    }
    throw ErrorException(xattrError(ERANGE, path, true));
}

void FileManager::removeExtendedAttribute(const std::string& name, const std::string& path) const {
    const std::string sys = extendedAttributeSystemName(name);
    if (::removexattr(path.c_str(), sys.c_str()) < 0) throw ErrorException(xattrError(errno, path, false));
}

std::vector<std::string> FileManager::extendedAttributeNames(const std::string& path) const {
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
        if (size < 0) throw ErrorException(xattrError(errno, path, true));
        std::string buffer(static_cast<std::size_t>(size), '\0');
        ssize_t got = ::listxattr(path.c_str(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == ERANGE) continue;
            throw ErrorException(xattrError(errno, path, true));
        }
        std::vector<std::string> names;
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            std::string n(buffer.c_str() + at);
            at += n.size() + 1;
            if (!n.empty()) names.push_back(std::move(n));
        }
        return names;
    }
    throw ErrorException(xattrError(ERANGE, path, true));
}

}  // namespace platform
