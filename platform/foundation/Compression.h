// Compression of bytes in memory over zlib, in the two wrappings its callers send: the
// zlib format (a request body "Content-Encoding: deflate") and gzip (an upload batch).
#pragma once
#include <string>

#include "platform/base/Data.h"
#include "platform/base/Result.h"

namespace platform {

enum class CompressionFormat {
    zlib,  // 2-byte header, DEFLATE data, Adler-32 of the input
    gzip,  // 10-byte header (no name, no time), DEFLATE data, CRC-32 and length of the input
};

// zlib's own default level (6), for callers with no preference.
inline constexpr int defaultCompressionLevel = -1;

// Why compressing failed: the zlib call, its status code and zlib's message (empty when
// it gave none), so that each caller can word its own error.
struct CompressionFailure {
    std::string call;
    int status = 0;
    std::string message;
};

// `data` compressed at `level` (0 to 9, or defaultCompressionLevel) in one stream; empty
// input gives the format's stream of nothing. Fails only when zlib refuses.
Result<Data, CompressionFailure> compress(const Data& data, CompressionFormat format, int level);

}  // namespace platform
