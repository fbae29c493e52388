// Gzip compression of an upload batch (zlib's deflate with a gzip header and trailer).
#pragma once
#include <optional>

#include "platform/base/Data.h"

namespace LumenAnalyticsSDK {

class LAGzipUtility {
public:
    // The gzip stream of `data` at zlib's default level; none (logged) for empty input
    // or a zlib failure. The output buffer starts at zlib's bound for the input, so a
    // batch of any size, however small, compresses in one pass.
    static std::optional<platform::Data> gzipData(const std::optional<platform::Data>& data);
};

}  // namespace LumenAnalyticsSDK
