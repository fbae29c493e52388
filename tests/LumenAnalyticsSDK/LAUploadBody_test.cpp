// The upload body's parts on their own: the checksum, gzip against Python's zlib, the
// percent-encoding, and the body node's form with its optional flags.
#include <gtest/gtest.h>

#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAFlushHTTPBodyInterceptor.h"
#include "LumenAnalyticsSDK/Core/Utils/LAGzipUtility.h"
#include "LumenAnalyticsSDK/Core/Utils/NSString+LAHashCode.h"
#include "tests/LumenAnalyticsSDK/LALogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using namespace LumenAnalyticsSDK;

// Python's own gzip streams of the files' bytes, at zlib's default level with a gzip
// wrapper, as hex, one line each.
std::vector<std::string> pythonGzipHex(const std::vector<std::filesystem::path>& files) {
    std::string arguments;
    for (const auto& file : files) arguments += " '" + file.string() + "'";
    int status = 0;
    auto printed = testing_support::runCommand(
        "python3 -c 'import sys, zlib\nfor f in sys.argv[1:]:\n    c = zlib.compressobj(-1, zlib.DEFLATED, 31)\n"
        "    d = open(f, \"rb\").read()\n    print((c.compress(d) + c.flush()).hex())'" +
            arguments,
        &status);
    EXPECT_EQ(status, 0);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = printed.find('\n'); end != std::string::npos; start = end + 1, end = printed.find('\n', start))
        lines.push_back(printed.substr(start, end - start));
    return lines;
}

TEST(LAUploadBodyTest, HashCodeIsTheThirtyOneHashOverUTF16Units) {
    struct Case {
        const char* text;
        std::int32_t hash;
    } cases[] = {
        {"", 0},
        {"abc", 96354},
        {"Aa", 2112},
        {"BB", 2112},
        {"hello", 99162322},
        {"polygenelubricants", -2147483648},         // wraps to the smallest 32-bit value
        {"\xC3\xA9", 233},                           // "é": one unit
        {"\xF0\x9F\x98\x80", 0xD83D * 31 + 0xDE00},  // an emoji: two surrogate units
    };
    for (const auto& c : cases) EXPECT_EQ(lumen_hashCode(c.text), c.hash) << c.text;
}

TEST(LAUploadBodyTest, GzipWritesZlibsStreamEvenForTinyInputs) {
    testing_support::TempDir dir;
    // The one-byte and two-byte inputs are the batches a buffer of 1.1 × input + 12
    // bytes could not hold.
    std::string large;
    for (int i = 0; i < 3000; ++i) large += "{\"event\":\"e" + std::to_string(i * 7919 % 1000) + "\"},";
    const std::vector<std::string> texts{"a", "[]", R"([{"event":"x"}])", large};
    std::vector<std::filesystem::path> files;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        files.push_back(dir / ("input" + std::to_string(i)));
        testing_support::writeFile(files.back(), texts[i]);
    }
    const auto expected = pythonGzipHex(files);
    ASSERT_EQ(expected.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto compressed = LAGzipUtility::gzipData(platform::Data::fromString(texts[i]));
        ASSERT_TRUE(compressed) << texts[i].size();
        EXPECT_EQ(compressed->hexString(), expected[i]) << texts[i].size();
    }
}

TEST(LAUploadBodyTest, GzipRefusesEmptyInputWithALogLine) {
    LumenAnalyticsSDK::testing::LALogCapture log;
    EXPECT_FALSE(LAGzipUtility::gzipData(std::nullopt));
    EXPECT_FALSE(LAGzipUtility::gzipData(platform::Data()));
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, LALogLevelError);
    EXPECT_EQ(lines[0].message, " Error: Can't compress an empty or null NSData object.");
}

TEST(LAUploadBodyTest, PercentEncodingKeepsOnlyLettersAndDigits) {
    EXPECT_EQ(LAFlushHTTPBodyInterceptor::percentEncoded("aZ09+/="), "aZ09%2B%2F%3D");
    EXPECT_EQ(LAFlushHTTPBodyInterceptor::percentEncoded("a-b_c.d~e f"), "a%2Db%5Fc%2Ed%7Ee%20f");
    EXPECT_EQ(LAFlushHTTPBodyInterceptor::percentEncoded(""), "");
}

TEST(LAUploadBodyTest, BodyIsTheChecksummedFormWithFlagsLast) {
    // Fixed batches with their bodies as a collector receives them (Python's zlib, Base64
    // and 31-hash give the same): one checksum positive, one negative with its sign.
    LAFlushHTTPBodyInterceptor node;
    struct Case {
        const char* json;
        const char* body;
    } cases[] = {
        {R"([{"event":"one","properties":{"n":1}}])",
         "crc=11108600&gzip=1&data_list="
         "H4sIAAAAAAAAA4uuVkotS80rUbJSys9LVdJRKijKL0gtKslMLVayqlbKU7IyrK2NBQASYCidJgAAAA%3D%3D"},
        {R"([{"i":0}])", "crc=-34407458&gzip=1&data_list=H4sIAAAAAAAAA4uuVspUsjKojQUAJ5taHwkAAAA%3D"},
    };
    for (const auto& c : cases) {
        LAFlowData data;
        data.setJson(c.json);
        ASSERT_EQ(node.buildBodyWithInput(data)->toString(), c.body);
        data.setIsInstantEvent(true);
        EXPECT_EQ(node.buildBodyWithInput(data)->toString(), std::string(c.body) + "&instant_event=true");
        data.setIsAdsEvent(true);
        EXPECT_EQ(node.buildBodyWithInput(data)->toString(),
                  std::string(c.body) + "&instant_event=true&sink_name=mirror");
    }

    // No JSON: no body, and the node leaves the state alone.
    auto empty = std::make_shared<LAFlowData>();
    node.processWithInput(empty, [](const LAFlowDataPtr&) {});
    EXPECT_FALSE(empty->HTTPBody());
    EXPECT_EQ(empty->state, LAFlowStateContinue);
}

}  // namespace
