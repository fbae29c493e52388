// Reading compressed bytes back with zlib's own decoder, for tests of what we compress.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Data.h"

namespace testing_support {

// zlib's window bits for the wrapping the decoder accepts.
inline constexpr int zlibFormatOnly = 15;
inline constexpr int gzipFormatOnly = 15 + 16;

// The bytes `data` decompresses to, or none when the decoder refuses them or they do not
// end exactly with one whole stream.
std::optional<std::string> inflated(const platform::Data& data, int windowBits);

}  // namespace testing_support
