// Keyed-archive files of the client's key/value store.
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"
#include "platform/files/FileManager.h"
#include "platform/files/LockedTemporary.h"
#include "platform/files/MovedAside.h"
#include "platform/files/SmallFile.h"
#include "platform/foundation/NSKeyedArchiver.h"

namespace LumenAnalyticsSDK {
namespace {

// Far above what any stored value takes; a larger file, a link, a FIFO or a device is not
// read, and no larger archive is written.
constexpr std::size_t kMaxStoreFileBytes = 4u << 20;

constexpr const char* kFilePrefix = "com.lumen.analytics.mini.LumenAnalyticsSDK.";

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string storeFolder() {
    auto library = platform::FileManager::defaultManager()->urls(platform::SearchPathDirectory::libraryDirectory);
    return library.empty() ? std::string(".") : library.front().path();
}

// A hard link never replaces what is there; where the file system has none, a rename
// that refuses to replace does the same.
bool linkWithoutReplacing(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) return true;
    if (errno == EEXIST) return false;
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

// The marker of an exclusive add's temporary file: "<file>.new-<pid>-<n>".
constexpr std::string_view kAddMarker = ".new-";

// The process that wrote an exclusive add's temporary file, or none for any other name.
std::optional<pid_t> adderOf(std::string_view name) {
    const auto marker = name.rfind(kAddMarker);
    if (name.substr(0, std::strlen(kFilePrefix)) != kFilePrefix || marker == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = name.substr(marker + kAddMarker.size());
    pid_t pid = 0;
    unsigned long count = 0;
    auto [dash, pidError] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (pidError != std::errc() || pid <= 0 || dash == rest.data() + rest.size() || *dash != '-') return std::nullopt;
    auto [end, countError] = std::from_chars(dash + 1, rest.data() + rest.size(), count);
    if (countError != std::errc() || end != rest.data() + rest.size()) return std::nullopt;
    return pid;
}

// The value stored at `path`: none when there is no file, or (with `why` set) when the
// store's reader refuses what is there.
std::optional<platform::Value> readStoredValue(const std::string& path, std::string& why) {
    auto file = platform::readSmallRegularFile(path, kMaxStoreFileBytes, platform::LinkPolicy::refuse);
    if (file.isRefused()) why = file.why;
    if (!file.isRead()) return std::nullopt;
    auto value = platform::NSKeyedUnarchiver::unarchivedObject(file.data);
    if (value.isSuccess()) return value.value();
    why = "it is no archive of at most " + std::to_string(platform::kArchiveLimits.values) + " values";
    return std::nullopt;
}

// The same file (a rename changes its ctime, nothing else of these).
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

// A write or an exclusive add cut off when its process ended leaves its temporary file
// behind; the store's start clears those no writer holds, so they never gather. A living
// writer's files stay, whoever and wherever it is.
LAFileStorePlugin::LAFileStorePlugin() {
    const std::string folder = storeFolder();
    platform::FileManager::defaultManager()->removeAbandonedNewFiles(folder, kFilePrefix);
    platform::removeAbandonedTemporaries(folder, adderOf);
}

std::string LAFileStorePlugin::filePath(const std::string& key) {
    std::string name = key;
    replaceAll(name, "cn.lumen.File.", "");
    replaceAll(name, "/", "%2F");
    return storeFolder() + "/" + kFilePrefix + name + ".plist";
}

platform::Value LAFileStorePlugin::objectForKey(const std::string& key) {
    if (key.empty()) return {};
    const auto path = filePath(key);
    std::string why;
    auto value = readStoredValue(path, why);
    if (!why.empty()) reportUnreadable(path, why);
    return value ? *value : platform::Value();
}

// The file is judged, moved, and checked to be the one judged: a file another writer put
// there meanwhile is never the one kept aside (it is put back) nor judged by another's
// contents.
bool LAFileStorePlugin::keepRefusedFileAside(const std::string& path) {
    struct stat before, judged;
    if (::lstat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return true;
    std::string why;
    if (readStoredValue(path, why) || why.empty()) return true;
    if (::lstat(path.c_str(), &judged) != 0 || !sameFile(before, judged)) return true;  // replaced meanwhile
    std::string aside;
    const auto outcome = platform::moveAsideAsInvalid(path, platform::FileIdentity::of(judged), aside);
    if (outcome == platform::AsideOutcome::failed) {
        LALogError("Stored file " + path + " is not read (" + why +
                   ") and cannot be moved aside: " + std::strerror(errno) + "; it is not replaced");
        return false;
    }
    if (outcome != platform::AsideOutcome::moved) return true;  // replaced meanwhile
    LALogWarn("Stored file " + path + " is not read (" + why + "): moved aside to " + aside + " before it is replaced");
    return true;
}

// The archive of `value`, when its reader takes it: a larger one is not written (logged).
std::optional<platform::Data> LAFileStorePlugin::readableArchive(const platform::Value& value, const std::string& key) {
    auto data = platform::NSKeyedArchiver::archivedData(value);
    std::string why;
    if (!data.isSuccess()) {
        auto debug = data.error()->userInfo().find(platform::NSDebugDescriptionErrorKey);
        why = debug != data.error()->userInfo().end() ? debug->second.stringValue() : "it cannot be archived";
    } else if (data.value().count() > kMaxStoreFileBytes) {
        why = "its archive is larger than " + std::to_string(kMaxStoreFileBytes) + " bytes";
    }
    if (why.empty()) return data.value();
    LALogError("The value for " + key + " is not stored: " + why + ", which the store does not read");
    return std::nullopt;
}

// A file the store cannot use is read on every lookup; it is reported the first time only.
void LAFileStorePlugin::reportUnreadable(const std::string& path, const std::string& reason) {
    // Never destroyed: lookups run until exit.
    static platform::NoDestructor<platform::Protected<std::set<std::string>>> reported;
    if (!reported->write([&](auto& paths) { return paths.insert(path).second; })) return;
    LALogWarn("Stored file " + path + " is ignored: " + reason);
}

bool LAFileStorePlugin::makeFolder(const std::string& path) {
    const auto& files = *platform::FileManager::defaultManager();
    std::string folder = path.substr(0, path.rfind('/'));
    try {
        if (!files.fileExists(folder)) files.createDirectory(folder, true);
    } catch (const std::exception&) {
        return false;  // the write is lost, as any failed write of this store
    }
    return true;
}

std::string LAFileStorePlugin::asideName(const std::string& path) {
    const std::string stamped = path + ".corrupt-" + std::to_string(std::time(nullptr));
    std::string aside = stamped;
    std::error_code ignored;
    for (int n = 1; std::filesystem::exists(std::filesystem::symlink_status(aside, ignored)); ++n)
        aside = stamped + "-" + std::to_string(n);
    return aside;
}

// The folder goes onto an empty folder made for it: a rename takes that place only from a
// folder, so a file another launch has just put at the path is never the one moved.
bool LAFileStorePlugin::moveFolderAside(const std::string& path) {
    std::error_code ignored;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) return false;
    const std::string aside = asideName(path);
    if (::mkdir(aside.c_str(), 0700) != 0) return false;
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        ::rmdir(aside.c_str());
        return false;
    }
    LALogWarn("Stored file " + path + " is a folder, moved aside to " + aside);
    return true;
}

void LAFileStorePlugin::setObject(const platform::Value& value, const std::string& key) {
    if (key.empty() || value.isNull()) return;
    auto data = readableArchive(value, key);
    std::string path = filePath(key);
    if (!data || !makeFolder(path) || !keepRefusedFileAside(path)) return;
    const auto& files = *platform::FileManager::defaultManager();
    if (!files.createFile(path, *data) && moveFolderAside(path)) files.createFile(path, *data);
}

bool LAFileStorePlugin::addObject(const platform::Value& value, const std::string& key) {
    return addFile(value, key, 0666);
}

bool LAFileStorePlugin::addOwnerOnlyObject(const platform::Value& value, const std::string& key) {
    return addFile(value, key, 0600);
}

bool LAFileStorePlugin::addFile(const platform::Value& value, const std::string& key, mode_t mode) {
    if (key.empty() || value.isNull()) return false;
    auto data = readableArchive(value, key);
    std::string path = filePath(key);
    if (!data || !makeFolder(path)) return false;
    // One name per write, so that writers of one process never share a temporary file. A
    // name already taken (left by a killed process that had this pid, or a writer of this
    // pid on another host sharing the folder) is never written into: the next one is tried.
    static std::atomic<unsigned> writes{0};
    platform::TemporaryWrite write;
    write.nextName = [&] {
        return path + std::string(kAddMarker) + std::to_string(::getpid()) + "-" + std::to_string(writes++);
    };
    write.mode = mode;
    write.place = [&](const std::string& temporary) {
        return linkWithoutReplacing(temporary, path) ||
               (moveFolderAside(path) && linkWithoutReplacing(temporary, path));
    };
    return platform::writeThroughTemporary(*data, write);
}

void LAFileStorePlugin::removeObjectForKey(const std::string& key) {
    const std::string path = filePath(key);
    if (keepRefusedFileAside(path)) ::unlink(path.c_str());
}

std::optional<std::vector<std::string>> LAFileStorePlugin::storeKeys() const {
    return std::vector<std::string>{"$channel_device_info", "login_id",
                                    "distinct_id",          "com.lumen.loginidkey",
                                    "com.lumen.identities", "first_day",
                                    "super_properties",     "latest_utms",
                                    "LAEncryptSecretKey",   "LAVisualPropertiesConfig",
                                    "LASessionModel",       "com.lumen.analytics.fallback_device_id"};
}

}  // namespace LumenAnalyticsSDK
