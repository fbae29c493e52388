// One deflate stream over zlib, grown until it is finished.
#include "platform/foundation/Compression.h"

#include <zlib.h>

namespace platform {

namespace {

// zlib's window bits select the wrapping: 15 for the zlib format, 15 + 16 for gzip.
int windowBits(CompressionFormat format) { return format == CompressionFormat::gzip ? 15 + 16 : 15; }
constexpr int memoryLevel = 8;
// The gzip header (10 bytes) and trailer (8 bytes) on top of zlib's bound, as a margin; the
// buffer still grows should the bound ever fall short.
constexpr std::size_t wrapperMargin = 18;

CompressionFailure failure(const std::string& call, int status, const z_stream& stream) {
    return CompressionFailure{call, status, stream.msg ? stream.msg : ""};
}

}  // namespace

Result<Data, CompressionFailure> compress(const Data& data, CompressionFormat format, int level) {
    using Outcome = Result<Data, CompressionFailure>;
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.count());
    int status = deflateInit2(&stream, level, Z_DEFLATED, windowBits(format), memoryLevel, Z_DEFAULT_STRATEGY);
    if (status != Z_OK) return Outcome::failure(failure("deflateInit2", status, stream));

    Data output;
    output.resize(deflateBound(&stream, stream.avail_in) + wrapperMargin);
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
        const CompressionFailure failed = failure("deflate", status, stream);
        deflateEnd(&stream);
        return Outcome::failure(failed);
    }
    deflateEnd(&stream);
    output.resize(written);
    return Outcome::success(std::move(output));
}

}  // namespace platform
