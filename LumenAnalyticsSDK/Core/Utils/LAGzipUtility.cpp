// Gzip compression of upload batches, with the client's error texts.
#include "LumenAnalyticsSDK/Core/Utils/LAGzipUtility.h"

#include <zlib.h>

#include <string>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/foundation/Compression.h"

namespace LumenAnalyticsSDK {

namespace {

const char* initErrorText(int code) {
    switch (code) {
        case Z_STREAM_ERROR: return "Invalid parameter passed in to function.";
        case Z_MEM_ERROR: return "Insufficient memory.";
        case Z_VERSION_ERROR: return "The version of zlib.h and the version of the library linked do not match.";
        default: return "Unknown error code.";
    }
}

const char* deflateErrorText(int code) {
    switch (code) {
        case Z_ERRNO: return "Error occured while reading file.";
        case Z_STREAM_ERROR: return "The stream state was inconsistent (e.g., next_in or next_out was NULL).";
        case Z_DATA_ERROR: return "The deflate data was invalid or incomplete.";
        case Z_MEM_ERROR: return "Memory could not be allocated for processing.";
        case Z_BUF_ERROR: return "Ran out of output buffer for writing compressed bytes.";
        case Z_VERSION_ERROR: return "The version of zlib.h and the version of the library linked do not match.";
        default: return "Unknown error code.";
    }
}

void logFailure(const platform::CompressionFailure& failure) {
    const std::string message = failure.message.empty() ? "(null)" : failure.message;
    if (failure.call == "deflateInit2") {
        LALogError(std::string("deflateInit2() Error: \"") + initErrorText(failure.status) + "\" Message: \"" +
                   message + "\"");
    } else {
        LALogError(std::string("zlib error while attempting compression: \"") + deflateErrorText(failure.status) +
                   "\" Message: \"" + message + "\"");
    }
}

}  // namespace

std::optional<platform::Data> LAGzipUtility::gzipData(const std::optional<platform::Data>& data) {
    if (!data || data->isEmpty()) {
        LALogError(std::string(" Error: Can't compress an empty or null NSData object."));
        return std::nullopt;
    }
    auto compressed = platform::compress(*data, platform::CompressionFormat::gzip, platform::defaultCompressionLevel);
    if (compressed.isFailure()) {
        logFailure(compressed.error());
        return std::nullopt;
    }
    return std::move(compressed).value();
}

}  // namespace LumenAnalyticsSDK
