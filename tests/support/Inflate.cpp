#include "tests/support/Inflate.h"

#include <zlib.h>

namespace testing_support {

std::optional<std::string> inflated(const platform::Data& data, int windowBits) {
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK) return std::nullopt;
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.count());
    std::string out;
    char buffer[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END || stream.avail_in != 0) return std::nullopt;
    return out;
}

}  // namespace testing_support
