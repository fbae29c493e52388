// URL conversion, the request constructor of the factories, and charset names.
#include "Hawser/URLConvertible.h"

#include <gtest/gtest.h>

#include "Hawser/CharsetName.h"
#include "Hawser/HWError.h"

using namespace Hawser;

namespace {
// The HWError thrown by `f`, or none.
template <class F>
std::shared_ptr<const HWError> thrownHWError(F&& f) {
    try {
        f();
    } catch (const platform::ErrorException& e) {
        return asHWError(e.error());
    }
    return nullptr;
}
}  // namespace

TEST(URLConvertible, ConvertsTextURLsAndComponentsOrFailsWithTheValue) {
    EXPECT_EQ(URLConvertible("https://example.com/a?b=1").asURL().absoluteString(), "https://example.com/a?b=1");
    auto url = *platform::URL::parse("https://example.com/x");
    EXPECT_EQ(URLConvertible(url).asURL(), url);
    auto parts = platform::URLComponents::fromURL(url);
    parts.setPath("/y z");
    EXPECT_EQ(URLConvertible(parts).asURL().absoluteString(), "https://example.com/y%20z");

    // Text is neither trimmed nor escaped: the error carries it exactly.
    auto error = thrownHWError([] { URLConvertible(" https://example.com/a b").asURL(); });
    ASSERT_TRUE(error);
    ASSERT_TRUE(error->isInvalidURLError());
    ASSERT_TRUE(error->urlConvertible()->string());
    EXPECT_EQ(*error->urlConvertible()->string(), " https://example.com/a b");
    EXPECT_EQ(error->errorDescription(), "URL is not valid:  https://example.com/a b");

    // Components that form no URL: a relative path after a host.
    platform::URLComponents broken;
    broken.setHost("example.com");
    broken.setPercentEncodedPath("relative");
    auto componentsError = thrownHWError([&] { URLConvertible(broken).asURL(); });
    ASSERT_TRUE(componentsError);
    EXPECT_TRUE(componentsError->urlConvertible()->components());
}

TEST(URLConvertible, RequestFromURLMethodAndHeaders) {
    auto request = makeURLRequest("https://example.com/a", HTTPMethod::post, HTTPHeaders{{"Accept", "x"}});
    EXPECT_EQ(request.url()->absoluteString(), "https://example.com/a");
    EXPECT_EQ(request.httpMethod(), "POST");
    EXPECT_EQ(request.allHTTPHeaderFields(), (std::map<std::string, std::string>{{"Accept", "x"}}));
    EXPECT_EQ(request.timeoutInterval(), 60);
    EXPECT_EQ(request.cachePolicy(), platform::URLRequest::CachePolicy::useProtocolCachePolicy);

    EXPECT_FALSE(makeURLRequest("https://example.com", HTTPMethod::get).allHTTPHeaderFields());
    auto error = thrownHWError([] { makeURLRequest("not a url", HTTPMethod::get); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->isInvalidURLError());

    // A URL request converts to itself; a failing conversion reads as none.
    URLRequestValue value(request);
    EXPECT_EQ(value.urlRequest(), request);
    struct Failing : URLRequestConvertible {
        platform::URLRequest asURLRequest() const override { HWError::explicitlyCancelled().raise(); }
    };
    EXPECT_FALSE(Failing().urlRequest());
}

TEST(CharsetName, NamesMapAfterLowerCasingOnly) {
    using E = platform::StringEncoding;
    const std::vector<std::pair<const char*, std::optional<E>>> rows = {
        {"utf-8", E::utf8()},
        {"UTF-8", E::utf8()},
        {"Utf-8", E::utf8()},
        {"utf8", std::nullopt},
        {" utf-8", std::nullopt},
        {"\"utf-8\"", std::nullopt},
        {"ISO-8859-1", E::isoLatin1()},
        {"unicode-1-1", E::utf16()},
        {"ISO-10646-UCS-2", E::utf16()},
        {"utf-16", E::utf16()},
        {"UTF-16BE", E::utf16BigEndian()},
        {"utf-16le", E::utf16LittleEndian()},
        {"utf-32", E::utf32()},
        {"utf-32be", E::utf32BigEndian()},
        {"UTF-32LE", E::utf32LittleEndian()},
        {"us-ascii", std::nullopt},
        {"windows-1252", std::nullopt},
        {"iso-8859-2", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [name, expected] : rows) EXPECT_EQ(stringEncodingForIANACharsetName(name), expected) << name;
}
