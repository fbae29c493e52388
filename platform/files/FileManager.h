// The file manager: search paths mapped onto XDG folders, creating, moving, copying
// and removing items, attributes (creation date included), listings and extended
// attributes. Failures throw ErrorException with a Cocoa-domain error.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Error.h"
#include "platform/base/OptionSet.h"
#include "platform/base/Value.h"
#include "platform/files/CocoaError.h"
#include "platform/foundation/URL.h"

namespace platform {

enum class SearchPathDirectory {
    applicationSupportDirectory,
    libraryDirectory,
    documentDirectory,
    cachesDirectory,
};
enum class SearchPathDomainMask { userDomainMask = 1 };

// Keys of the attribute dictionaries (`attributesOfItem`, `createFile`, `setAttributes`).
namespace FileAttributeKey {
inline constexpr const char* size = "NSFileSize";                          // uint64
inline constexpr const char* type = "NSFileType";                          // a FileAttributeType text
inline constexpr const char* posixPermissions = "NSFilePosixPermissions";  // int64, e.g. 0644
inline constexpr const char* modificationDate = "NSFileModificationDate";  // Date
inline constexpr const char* creationDate = "NSFileCreationDate";          // Date
inline constexpr const char* ownerAccountID = "NSFileOwnerAccountID";      // uint64
inline constexpr const char* groupOwnerAccountID = "NSFileGroupOwnerAccountID";
inline constexpr const char* referenceCount = "NSFileReferenceCount";
inline constexpr const char* systemNumber = "NSFileSystemNumber";
inline constexpr const char* systemFileNumber = "NSFileSystemFileNumber";
}  // namespace FileAttributeKey

namespace FileAttributeType {
inline constexpr const char* typeRegular = "NSFileTypeRegular";
inline constexpr const char* typeDirectory = "NSFileTypeDirectory";
inline constexpr const char* typeSymbolicLink = "NSFileTypeSymbolicLink";
inline constexpr const char* typeCharacterSpecial = "NSFileTypeCharacterSpecial";
inline constexpr const char* typeBlockSpecial = "NSFileTypeBlockSpecial";
inline constexpr const char* typeSocket = "NSFileTypeSocket";
inline constexpr const char* typeUnknown = "NSFileTypeUnknown";
}  // namespace FileAttributeType

struct DirectoryEnumerationOptionsTag {};
using DirectoryEnumerationOptions = OptionSet<DirectoryEnumerationOptionsTag>;
namespace DirectoryEnumerationOption {
inline constexpr DirectoryEnumerationOptions skipsHiddenFiles(1u << 2);
}

class FileManager {
public:
    // The process's shared file manager (it keeps no state; any instance behaves alike).
    static const std::shared_ptr<FileManager>& defaultManager();
    FileManager() = default;
    virtual ~FileManager() = default;

    // Search paths (user domain only): Application Support and Library ->
    // $XDG_DATA_HOME or ~/.local/share; Documents -> $XDG_DOCUMENTS_DIR or ~/Documents;
    // Caches -> $XDG_CACHE_HOME or ~/.cache. The folders are not created.
    std::vector<URL> urls(SearchPathDirectory directory,
                          SearchPathDomainMask domain = SearchPathDomainMask::userDomainMask) const;
    URL homeDirectoryForCurrentUser() const;
    // A private folder of this user under $TMPDIR (or /tmp), made with mode 0700 and
    // checked to be a real folder owned by us; ends with "/".
    URL temporaryDirectory() const;
    std::string currentDirectoryPath() const;

    // Follows symbolic links (a dangling link answers false).
    bool fileExists(const std::string& path, bool* isDirectory = nullptr) const;
    bool isReadableFile(const std::string& path) const;
    bool isWritableFile(const std::string& path) const;
    bool isExecutableFile(const std::string& path) const;
    bool isDeletableFile(const std::string& path) const;

    // An existing folder is an error (516) unless `withIntermediateDirectories`.
    // `attributes` may set NSFilePosixPermissions.
    void createDirectory(const std::string& path, bool withIntermediateDirectories,
                         const Value::Dictionary& attributes = {}) const;
    void createDirectory(const URL& url, bool withIntermediateDirectories,
                         const Value::Dictionary& attributes = {}) const;

    // Fails with 516 when the destination exists. Across file systems the item is
    // copied into the destination's folder under a temporary name, renamed into place
    // without replacing anything, and only then is the source removed.
    void moveItem(const std::string& srcPath, const std::string& dstPath) const;
    void moveItem(const URL& src, const URL& dst) const;
    // Recursive; keeps symbolic links as links and permission bits. Fails with 516
    // when the destination exists; a failed copy leaves no partial destination.
    void copyItem(const std::string& srcPath, const std::string& dstPath) const;
    void copyItem(const URL& src, const URL& dst) const;
    // Recursive; a symbolic link is removed, never followed. A missing item is error 4.
    void removeItem(const std::string& path) const;
    void removeItem(const URL& url) const;

    // Keys of FileAttributeKey; the creation date is the file's birth time when the
    // file system records one, else its modification time. Symbolic links are not
    // followed.
    Value::Dictionary attributesOfItem(const std::string& path) const;
    // Applies NSFilePosixPermissions and NSFileModificationDate (others are ignored).
    void setAttributes(const Value::Dictionary& attributes, const std::string& path) const;

    // Names in the folder (no "." or ".."), in the file system's order.
    std::vector<std::string> contentsOfDirectory(const std::string& path) const;
    // URLs of the folder's entries; `DirectoryEnumerationOption::skipsHiddenFiles` leaves out names starting with ".".
    std::vector<URL> contentsOfDirectory(const URL& url,
                                         const std::vector<std::string>& includingPropertiesForKeys = {},
                                         DirectoryEnumerationOptions options = {}) const;

    // The whole file, or none when it cannot be read.
    std::optional<Data> contents(const std::string& path) const;
    // Writes atomically (a temporary file, locked while written, then a rename); an existing
    // file is replaced. `attributes` may set NSFilePosixPermissions (default 0666 less the umask).
    bool createFile(const std::string& path, const std::optional<Data>& contents = std::nullopt,
                    const Value::Dictionary& attributes = {}) const;
    // Removes the temporary files `createFile` left in `folder` for names starting with
    // `namePrefix` that no writer holds (a write cut off by its process's end), by the rule
    // of `removeAbandonedTemporaries`; a living writer's files stay wherever it runs.
    // Answers how many it removed.
    std::size_t removeAbandonedNewFiles(const std::string& folder, const std::string& namePrefix) const;
    bool contentsEqual(const std::string& path1, const std::string& path2) const;

    // Extended attributes. A name without a namespace ("user.", "trusted.", "security.",
    // "system.") lives under "user.". A file system that refuses them is an error
    // (featureUnsupported with the POSIX error underneath), never silently ignored.
    void setExtendedAttribute(const std::string& name, const Data& value, const std::string& path) const;
    // None when the file has no such attribute; other failures throw.
    std::optional<Data> extendedAttribute(const std::string& name, const std::string& path) const;
    void removeExtendedAttribute(const std::string& name, const std::string& path) const;
    // The names as stored (with their namespace).
    std::vector<std::string> extendedAttributeNames(const std::string& path) const;
};

// The on-disk name for an extended attribute ("user." added when no namespace is given).
std::string extendedAttributeSystemName(const std::string& name);

}  // namespace platform
