// The opaque resume data of a download: the request, the partial file it wrote, how many
// bytes it holds, and the validator that lets the server confirm the resource has not
// changed (ETag, else Last-Modified).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/Data.h"
#include "platform/net/URLRequest.h"

namespace platform {

struct DownloadResumeData {
    URLRequest request;
    std::string temporaryPath;
    std::int64_t offset = 0;
    std::optional<std::string> entityTag, lastModified;
    std::int64_t expectedTotalBytes = -1;

    Data encoded() const;
    // None when the bytes are not resume data of ours.
    static std::optional<DownloadResumeData> decode(const Data& data);
    // The If-Range value: the strong ETag, else Last-Modified.
    std::optional<std::string> validator() const;
};

}  // namespace platform
