// Gzip compression of an upload batch.
#pragma once
#include <optional>

#include "platform/base/Data.h"

namespace LumenAnalyticsSDK {

class LAGzipUtility {
public:
    // The gzip stream of `data` at zlib's default level; none (logged) for empty input
    // or a zlib failure.
    static std::optional<platform::Data> gzipData(const std::optional<platform::Data>& data);
};

}  // namespace LumenAnalyticsSDK
