// Deflate request compression: the zlib format checked byte by byte and by Python's
// zlib, and what the interceptor does with each kind of request.
#include <gtest/gtest.h>

#include "Hawser/HTTPHeaders.h"
#include "Hawser/RequestCompression.h"
#include "tests/support/TempDir.h"

using namespace Hawser;
using platform::Data;
using platform::URLRequest;
using Behavior = DeflateRequestCompressor::DuplicateHeaderBehavior;

namespace {

std::uint32_t adler32Of(const std::string& bytes) {
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : bytes) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::uint32_t trailer(const Data& d) {
    std::uint32_t value = 0;
    for (std::size_t i = d.count() - 4; i < d.count(); ++i) value = (value << 8) | d[i];
    return value;
}

}  // namespace

TEST(RequestCompression, ZlibFormatReadBackByPython) {
    std::string body;
    for (int i = 0; i < 2000; ++i) body += "line " + std::to_string(i % 17) + " \"quoted\" \\ text\n";
    for (const std::string& input : {body, std::string()}) {
        Data compressed = deflate(Data::fromString(input));
        ASSERT_GE(compressed.count(), 6u);
        EXPECT_EQ(compressed[0], 0x78);
        EXPECT_EQ(compressed[1], 0x5E);
        EXPECT_EQ(trailer(compressed), adler32Of(input));
        if (input.empty()) {
            EXPECT_EQ(trailer(compressed), 1u);
        }

        testing_support::TempDir dir;
        testing_support::writeFile(dir / "z", compressed.toString());
        int status = -1;
        auto restored =
            testing_support::runCommand("python3 -c \"import sys, zlib; "
                                        "sys.stdout.buffer.write(zlib.decompress(open(sys.argv[1], 'rb').read()))\" " +
                                            (dir / "z").string(),
                                        &status);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(restored, input);
        if (!input.empty()) {
            EXPECT_LT(compressed.count(), input.size() / 4) << "actually compressed";
        }
    }
}

TEST(RequestCompression, InterceptorCases) {
    struct Case {
        const char* name;
        std::function<void(URLRequest&)> setUp;
        Behavior behavior;
        bool compressAll;
        enum { unchanged, compressed, duplicateError } outcome;
    };
    auto withBody = [](URLRequest& r) { r.setHTTPBody(Data::fromString("hello hello hello")); };
    auto withEncoding = [withBody](URLRequest& r) {
        withBody(r);
        r.setValue("gzip", "content-ENCODING");
    };
    const Case cases[] = {
        {"no body", [](URLRequest&) {}, Behavior::error, true, Case::unchanged},
        {"only a body stream",
         [](URLRequest& r) { r.setHTTPBodyStream(platform::InputStream::withData(Data::fromString("s"))); },
         Behavior::error, true, Case::unchanged},
        {"body refused by the predicate", withBody, Behavior::error, false, Case::unchanged},
        {"body", withBody, Behavior::error, true, Case::compressed},
        {"empty body", [](URLRequest& r) { r.setHTTPBody(Data()); }, Behavior::error, true, Case::compressed},
        {"duplicate header, error", withEncoding, Behavior::error, true, Case::duplicateError},
        {"duplicate header, skip", withEncoding, Behavior::skip, true, Case::unchanged},
        {"duplicate header, replace", withEncoding, Behavior::replace, true, Case::compressed},
    };
    for (const auto& c : cases) {
        URLRequest request(platform::URL::parse("http://127.0.0.1:9/up"));
        request.setHTTPMethod("POST");
        c.setUp(request);
        auto compressor = deflateCompressor(c.behavior, [&](const Data&) { return c.compressAll; });
        int calls = 0;
        std::optional<platform::Result<URLRequest>> outcome;
        compressor->adapt(request, nullptr, [&](platform::Result<URLRequest> r) {
            ++calls;
            outcome = std::move(r);
        });
        ASSERT_EQ(calls, 1) << c.name << ": completes once, before adapt returns";
        switch (c.outcome) {
            case Case::unchanged:
                ASSERT_TRUE(outcome->isSuccess()) << c.name;
                EXPECT_EQ(outcome->value(), request) << c.name;
                break;
            case Case::duplicateError:
                ASSERT_TRUE(outcome->isFailure()) << c.name;
                EXPECT_TRUE(
                    std::dynamic_pointer_cast<const DeflateRequestCompressor::DuplicateHeaderError>(outcome->error()))
                    << c.name;
                break;
            case Case::compressed: {
                ASSERT_TRUE(outcome->isSuccess()) << c.name;
                const auto& adapted = outcome->value();
                EXPECT_EQ(adapted.httpBody(), deflate(*request.httpBody())) << c.name;
                auto list = headers(adapted);
                EXPECT_EQ(list.value("Content-Encoding"), "deflate") << c.name;
                int encodings = 0;
                for (const auto& h : list) encodings += platform::equalsIgnoringCase(h.name, "Content-Encoding");
                EXPECT_EQ(encodings, 1) << c.name;
                break;
            }
        }
    }
}
