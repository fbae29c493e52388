// File and process errors in the platform's Cocoa domain, built from errno the way
// callers expect to see them: a Cocoa code, the path, and the POSIX error underneath.
#pragma once
#include <cstdint>
#include <string>

#include "platform/base/Error.h"

namespace platform {

struct CocoaError {
    // The platform's codes, with their raw values.
    enum Code : std::int64_t {
        fileNoSuchFile = 4,
        fileLocking = 255,
        fileReadUnknown = 256,
        fileReadNoPermission = 257,
        fileReadInvalidFileName = 258,
        fileReadCorruptFile = 259,
        fileReadNoSuchFile = 260,
        fileReadInapplicableStringEncoding = 261,
        fileReadUnsupportedScheme = 262,
        fileReadTooLarge = 263,
        fileWriteUnknown = 512,
        fileWriteNoPermission = 513,
        fileWriteInvalidFileName = 514,
        fileWriteFileExists = 516,
        fileWriteInapplicableStringEncoding = 517,
        fileWriteUnsupportedScheme = 518,
        fileWriteOutOfSpace = 640,
        fileWriteVolumeReadOnly = 642,
        featureUnsupported = 3328,
        propertyListReadCorrupt = 3840,
        executableNotLoadable = 3584,
    };

    // An error with the code, NSFilePath = path (when not empty) and a description
    // naming the file; `underlying` becomes NSUnderlyingError.
    static ErrorPtr error(Code code, const std::string& path = {}, ErrorPtr underlying = nullptr);

    // The Cocoa code for errno: `reading` picks the read family (ENOENT -> 260,
    // EACCES -> 257 …), otherwise the write family (ENOENT -> 4, EACCES -> 513,
    // EEXIST -> 516, ENOSPC/EDQUOT -> 640, EROFS -> 642 …).
    static Code codeForErrno(int errnoValue, bool reading);
    // error(codeForErrno(...), path, posixError(errnoValue, path)).
    static ErrorPtr fromErrno(int errnoValue, const std::string& path, bool reading);
};

}  // namespace platform
