// Cocoa-domain file errors: codes from errno and the platform's sentences.
#include "platform/files/CocoaError.h"

#include <cerrno>

namespace platform {
namespace {

std::string quoted(const std::string& path) {
    auto slash = path.find_last_of('/');
    std::string name = (slash == std::string::npos || slash + 1 == path.size()) ? path : path.substr(slash + 1);
    return "“" + name + "”";
}

std::string describe(CocoaError::Code code, const std::string& path) {
    const bool named = !path.empty();
    const std::string file = named ? "The file " + quoted(path) : std::string("The file");
    switch (code) {
        case CocoaError::fileNoSuchFile: return file + " doesn’t exist.";
        case CocoaError::fileLocking: return file + " couldn’t be locked.";
        case CocoaError::fileReadUnknown: return file + " couldn’t be opened.";
        case CocoaError::fileReadNoPermission:
            return file + " couldn’t be opened because you don’t have permission to view it.";
        case CocoaError::fileReadInvalidFileName:
        case CocoaError::fileWriteInvalidFileName:
            return named ? "The file name " + quoted(path) + " is invalid." : "The file name is invalid.";
        case CocoaError::fileReadCorruptFile:
            return file + " couldn’t be opened because it isn’t in the correct format.";
        case CocoaError::fileReadNoSuchFile: return file + " couldn’t be opened because there is no such file.";
        case CocoaError::fileReadInapplicableStringEncoding:
            return file + " couldn’t be opened because the text encoding of its contents can’t be determined.";
        case CocoaError::fileReadUnsupportedScheme:
        case CocoaError::fileWriteUnsupportedScheme: return "The specified URL type isn’t supported.";
        case CocoaError::fileReadTooLarge: return file + " couldn’t be opened because it is too large.";
        case CocoaError::fileWriteUnknown: return file + " couldn’t be saved.";
        case CocoaError::fileWriteNoPermission:
            return named ? "You don’t have permission to save the file " + quoted(path) + "."
                         : "You don’t have permission to save the file.";
        case CocoaError::fileWriteFileExists:
            return file + " couldn’t be saved because a file with the same name already exists.";
        case CocoaError::fileWriteInapplicableStringEncoding:
            return file + " couldn’t be saved using the text encoding.";
        case CocoaError::fileWriteOutOfSpace: return file + " couldn’t be saved because there isn’t enough space.";
        case CocoaError::fileWriteVolumeReadOnly: return file + " couldn’t be saved because the volume is read only.";
        case CocoaError::featureUnsupported:
            return "The requested operation couldn’t be completed because the feature is not supported.";
        case CocoaError::propertyListReadCorrupt:
            return "The data couldn’t be read because it isn’t in the correct format.";
        case CocoaError::executableNotLoadable:
            return named ? "The executable " + quoted(path) + " couldn’t be loaded."
                         : "The executable couldn’t be loaded.";
    }
    return "The operation couldn’t be completed.";
}

}  // namespace

ErrorPtr CocoaError::error(Code code, const std::string& path, ErrorPtr underlying) {
    Value::Dictionary info{{NSLocalizedDescriptionKey, Value(describe(code, path))}};
    if (!path.empty()) info[NSFilePathErrorKey] = Value(path);
    if (underlying) info[NSLocalizedFailureReasonErrorKey] = Value(underlying->localizedDescription());
    return NSError::make(NSCocoaErrorDomain, code, std::move(info), std::move(underlying));
}

CocoaError::Code CocoaError::codeForErrno(int e, bool reading) {
    if (reading) {
        switch (e) {
            case ENOENT:
            case ENOTDIR: return fileReadNoSuchFile;
            case EPERM:
            case EACCES: return fileReadNoPermission;
            case ENAMETOOLONG: return fileReadInvalidFileName;
            case EFBIG: return fileReadTooLarge;
            default: return fileReadUnknown;
        }
    }
    switch (e) {
        case ENOENT:
        case ENOTDIR: return fileNoSuchFile;
        case EPERM:
        case EACCES: return fileWriteNoPermission;
        case ENAMETOOLONG: return fileWriteInvalidFileName;
        case ENOSPC:
        case EDQUOT: return fileWriteOutOfSpace;
        case EROFS: return fileWriteVolumeReadOnly;
        case EEXIST:
        case ENOTEMPTY: return fileWriteFileExists;
        default: return fileWriteUnknown;
    }
}

ErrorPtr CocoaError::fromErrno(int errnoValue, const std::string& path, bool reading) {
    return error(codeForErrno(errnoValue, reading), path, posixError(errnoValue, path));
}

}  // namespace platform
