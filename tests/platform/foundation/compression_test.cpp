// Compression in both wrappings: each output is read back by zlib's strict decoder for its
// format, starts with the format's header and ends with its checksum; a refused level is
// reported with the call that refused it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "platform/foundation/Compression.h"
#include "tests/support/Inflate.h"

using namespace platform;

namespace {

// What zlib's strict decoder for `format` makes of `data`; none when it refuses.
std::optional<std::string> inflated(const Data& data, CompressionFormat format) {
    return testing_support::inflated(data, format == CompressionFormat::gzip ? testing_support::gzipFormatOnly
                                                                             : testing_support::zlibFormatOnly);
}

std::string noise(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::uint32_t bigEndianAt(const Data& data, std::size_t at) {
    return std::uint32_t(data[at]) << 24 | std::uint32_t(data[at + 1]) << 16 | std::uint32_t(data[at + 2]) << 8 |
           data[at + 3];
}

TEST(Compression, EachFormatRoundTripsWithItsHeaderAndTrailer) {
    struct Case {
        const char* name;
        CompressionFormat format;
        int level;
        std::string input;
        std::vector<std::uint8_t> header;
    };
    const std::string text = "{\"event\":\"install_update\",\"ok\":true}";
    const Case cases[] = {
        {"zlib, empty", CompressionFormat::zlib, 5, "", {0x78, 0x5E}},
        {"zlib, text at 5", CompressionFormat::zlib, 5, text, {0x78, 0x5E}},
        {"zlib, text at default", CompressionFormat::zlib, defaultCompressionLevel, text, {0x78, 0x9C}},
        {"zlib, stored", CompressionFormat::zlib, 0, text, {0x78, 0x01}},
        {"zlib, noise at 9", CompressionFormat::zlib, 9, noise(300000), {0x78, 0xDA}},
        {"gzip, empty", CompressionFormat::gzip, defaultCompressionLevel, "", {0x1F, 0x8B, 0x08}},
        {"gzip, text", CompressionFormat::gzip, defaultCompressionLevel, text, {0x1F, 0x8B, 0x08}},
        {"gzip, noise", CompressionFormat::gzip, 1, noise(300000), {0x1F, 0x8B, 0x08}},
        {"gzip, a repeated megabyte",
         CompressionFormat::gzip,
         defaultCompressionLevel,
         std::string(1 << 20, 'a'),
         {0x1F, 0x8B, 0x08}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Data input = Data::fromString(c.input);
        const auto compressed = compress(input, c.format, c.level);
        ASSERT_TRUE(compressed.isSuccess());
        const Data& out = compressed.value();
        ASSERT_GE(out.count(), c.header.size() + 4);
        EXPECT_EQ(std::vector<std::uint8_t>(out.data(), out.data() + c.header.size()), c.header);
        EXPECT_EQ(inflated(out, c.format), c.input);
        const std::size_t end = out.count() - 4;
        if (c.format == CompressionFormat::zlib) {
            EXPECT_EQ(bigEndianAt(out, end), adler32(1, input.data(), static_cast<uInt>(input.count())));
        } else {
            const std::uint32_t length =
                out[end] | out[end + 1] << 8 | out[end + 2] << 16 | std::uint32_t(out[end + 3]) << 24;
            EXPECT_EQ(length, input.count());
        }
        // The other format's decoder does not take it.
        const auto other = c.format == CompressionFormat::zlib ? CompressionFormat::gzip : CompressionFormat::zlib;
        EXPECT_EQ(inflated(out, other), std::nullopt);
    }
}

TEST(Compression, ARefusedLevelIsReportedWithTheCallAndItsStatus) {
    const auto compressed = compress(Data::fromString("text"), CompressionFormat::gzip, 10);
    ASSERT_TRUE(compressed.isFailure());
    EXPECT_EQ(compressed.error().call, "deflateInit2");
    EXPECT_EQ(compressed.error().status, Z_STREAM_ERROR);
}

}  // namespace
