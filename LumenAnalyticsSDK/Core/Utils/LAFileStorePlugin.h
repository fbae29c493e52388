// Store plugin keeping one keyed-archive file per key in the user's Library folder; it
// owns the identity, super-property, first-day and session keys.
#pragma once
#include <sys/types.h>

#include "LumenAnalyticsSDK/Core/Utils/LAStorePlugin.h"

namespace LumenAnalyticsSDK {

class LAFileStorePlugin : public LAStorePlugin {
public:
    // Removes the store's temporary files (of writes and of exclusive adds) that no writer
    // holds: those that killed processes left behind.
    LAFileStorePlugin();
    // "<Library>/com.lumen.analytics.mini.LumenAnalyticsSDK.<key>.plist" with every
    // "cn.lumen.File." taken out of the key; a "/" in the key is written "%2F" so that
    // every key stays inside the folder.
    static std::string filePath(const std::string& key);

    std::string type() const override { return "cn.lumen.File."; }
    void upgradeWithOldPlugin(const std::shared_ptr<LAStorePlugin>&) override {}
    // Null for a missing or unreadable file; an unreadable one is logged once.
    platform::Value objectForKey(const std::string& key) override;
    // A null value writes nothing (the file stays); else the file is replaced atomically.
    // A value whose archive the reader would refuse (past the archive limits or 4 MiB) is
    // not written (logged), and the file stays. A folder in the file's place, which would
    // refuse the key's writes for good, is moved aside first (here and in `addObject`); so is
    // a file the reader refuses (`keepRefusedFileAside`).
    void setObject(const platform::Value& value, const std::string& key) override;
    // The file is made complete beside its place and linked in only where no file is, so
    // of launches racing to make it exactly one wins and the others read its value.
    bool addObject(const platform::Value& value, const std::string& key) override;
    // `addObject` for a file that only its owner may read.
    bool addOwnerOnlyObject(const platform::Value& value, const std::string& key);
    // A file the reader refuses is moved aside rather than removed.
    void removeObjectForKey(const std::string& key) override;
    std::optional<std::vector<std::string>> storeKeys() const override;

    // Where an unusable file of the client's is moved aside, kept: "<path>.corrupt-<time>",
    // with "-<n>" added while that name is taken.
    static std::string asideName(const std::string& path);

private:
    // A regular file at `path` that the reader refuses (larger than 4 MiB, damaged, or past
    // the archive limits) is moved aside (platform::moveAsideAsInvalid) with a log line
    // naming the aside, so that nothing stored there is replaced unread. Links, FIFOs and
    // devices are not the store's files and stay for the write to replace (never what a
    // link names). False when such a file cannot be moved: it must not be replaced.
    static bool keepRefusedFileAside(const std::string& path);
    static std::optional<platform::Data> readableArchive(const platform::Value& value, const std::string& key);
    // Adds the file the exclusive way with `mode` (less the umask).
    static bool addFile(const platform::Value& value, const std::string& key, mode_t mode);
    static void reportUnreadable(const std::string& path, const std::string& reason);
    // The folder of `path`, made when missing; false when it cannot be.
    static bool makeFolder(const std::string& path);
    // Moves a folder standing at `path` aside with a log line; false when none was moved.
    static bool moveFolderAside(const std::string& path);
};

}  // namespace LumenAnalyticsSDK
