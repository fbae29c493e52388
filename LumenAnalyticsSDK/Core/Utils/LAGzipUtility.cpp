// Gzip compression of upload batches through zlib, with the client's error texts.
#include "LumenAnalyticsSDK/Core/Utils/LAGzipUtility.h"

#include <zlib.h>

#include <string>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

namespace LumenAnalyticsSDK {

namespace {

// Window bits 15 plus 16: a gzip header and trailer around the deflate stream.
constexpr int gzipWindowBits = 15 + 16;
constexpr int defaultMemoryLevel = 8;
// The gzip header (10 bytes) and trailer (8 bytes), added on top of zlib's bound as a
// margin; the buffer still grows should the bound ever fall short.
constexpr std::size_t gzipWrapperSize = 18;

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

std::string zlibMessage(const z_stream& stream) { return stream.msg ? stream.msg : "(null)"; }

}  // namespace

std::optional<platform::Data> LAGzipUtility::gzipData(const std::optional<platform::Data>& data) {
    if (!data || data->isEmpty()) {
        LALogError(std::string(" Error: Can't compress an empty or null NSData object."));
        return std::nullopt;
    }
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(data->data());
    stream.avail_in = static_cast<uInt>(data->count());
    int status = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzipWindowBits, defaultMemoryLevel,
                              Z_DEFAULT_STRATEGY);
    if (status != Z_OK) {
        LALogError(std::string("deflateInit2() Error: \"") + initErrorText(status) + "\" Message: \"" +
                   zlibMessage(stream) + "\"");
        return std::nullopt;
    }
    platform::Data output;
    output.resize(deflateBound(&stream, stream.avail_in) + gzipWrapperSize);
    std::size_t written = 0;
    while (true) {
        if (written == output.count()) output.resize(output.count() * 2);
        stream.next_out = output.mutableData() + written;
        stream.avail_out = static_cast<uInt>(output.count() - written);
        status = deflate(&stream, Z_FINISH);
        written = output.count() - stream.avail_out;
        if (status == Z_STREAM_END) break;
        // No room left is the one case worth another round: the buffer grows above.
        if (status == Z_OK || (status == Z_BUF_ERROR && written == output.count())) continue;
        LALogError(std::string("zlib error while attempting compression: \"") + deflateErrorText(status) +
                   "\" Message: \"" + zlibMessage(stream) + "\"");
        deflateEnd(&stream);
        return std::nullopt;
    }
    deflateEnd(&stream);
    output.resize(written);
    return output;
}

}  // namespace LumenAnalyticsSDK
