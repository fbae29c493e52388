// Hashing a whole file by streaming it: the updater's package check reads packages of
// hundreds of megabytes, so this reads large blocks and never holds the file in memory.
#pragma once
#include <string>

#include "platform/base/Result.h"
#include "platform/crypto/Digest.h"

namespace platform {

// The digest of the file's contents, or the POSIX error of opening or reading it.
Result<Data> digestOfFile(DigestAlgorithm algorithm, const std::string& path);

// The file's MD5 as 32 lower-case hexadecimal digits.
Result<std::string> md5Hex(const std::string& path);

}  // namespace platform
