// Header lists, factories, the default header set, and the bridges to platform objects.
#include "Hawser/HTTPHeaders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unordered_set>

#include "Hawser/HTTPMethod.h"

using namespace Hawser;

namespace {
std::vector<HTTPHeader> list(const HTTPHeaders& h) { return h.headers(); }
}  // namespace

TEST(HTTPHeaders, OperationsKeepOneEntryPerNameInFirstPosition) {
    struct Row {
        const char* what;
        std::vector<HTTPHeader> start;
        std::function<void(HTTPHeaders&)> operation;
        std::vector<HTTPHeader> expected;
    };
    const std::vector<Row> rows = {
        {"update replaces in place with the new spelling",
         {{"Content-Type", "text/plain"}, {"Accept", "x"}},
         [](HTTPHeaders& h) { h.update("content-type", "a"); },
         {{"content-type", "a"}, {"Accept", "x"}}},
        {"building from a list keeps the first position, last name and value",
         {{"a", "1"}, {"B", "2"}, {"A", "3"}},
         [](HTTPHeaders&) {},
         {{"A", "3"}, {"B", "2"}}},
        {"add appends a new name",
         {{"a", "1"}},
         [](HTTPHeaders& h) { h.add(HTTPHeader::accept("x")); },
         {{"a", "1"}, {"Accept", "x"}}},
        {"remove of an absent name changes nothing",
         {{"a", "1"}, {"b", "2"}},
         [](HTTPHeaders& h) { h.remove("c"); },
         {{"a", "1"}, {"b", "2"}}},
        {"remove takes the match in any case, later entries move up",
         {{"a", "1"}, {"B", "2"}, {"c", "3"}},
         [](HTTPHeaders& h) { h.remove("b"); },
         {{"a", "1"}, {"c", "3"}}},
        {"set with a value updates, without removes",
         {{"a", "1"}, {"b", "2"}},
         [](HTTPHeaders& h) {
             h.set("A", "9");
             h.set("b", std::nullopt);
         },
         {{"A", "9"}}},
        {"sort is stable by lower-cased name",
         {{"b", "1"}, {"C", "2"}, {"a", "3"}},
         [](HTTPHeaders& h) { h.sort(); },
         {{"a", "3"}, {"b", "1"}, {"C", "2"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        HTTPHeaders h(row.start);
        row.operation(h);
        EXPECT_EQ(list(h), row.expected);
    }
}

TEST(HTTPHeaders, LookupSortedCopyDictionaryAndText) {
    HTTPHeaders h{{"Accept", "x"}, {"b", "2"}, {"A", "1"}};
    EXPECT_EQ(h.value("ACCEPT"), "x");
    EXPECT_EQ(h["accept"], "x");
    EXPECT_FALSE(h.value("missing"));

    HTTPHeaders copy = h.sorted();
    EXPECT_EQ(list(h), (std::vector<HTTPHeader>{{"Accept", "x"}, {"b", "2"}, {"A", "1"}}));  // unchanged
    EXPECT_EQ(list(copy), (std::vector<HTTPHeader>{{"A", "1"}, {"Accept", "x"}, {"b", "2"}}));

    EXPECT_EQ(h.dictionary(), (std::map<std::string, std::string>{{"A", "1"}, {"Accept", "x"}, {"b", "2"}}));
    EXPECT_EQ(h.description(), "Accept: x\nb: 2\nA: 1");
    EXPECT_TRUE(HTTPHeaders().dictionary().empty());
    EXPECT_EQ(HTTPHeaders().description(), "");
}

TEST(HTTPHeaders, FactoriesAndQualityEncoding) {
    EXPECT_EQ(HTTPHeader::authorization("user", "pass").value, "Basic dXNlcjpwYXNz");
    EXPECT_EQ(HTTPHeader::authorization("user", "").value, "Basic dXNlcjo=");  // the colon stays
    EXPECT_EQ(HTTPHeader::authorization("ü", "p").value, "Basic w7w6cA==");    // UTF-8 before Base64
    EXPECT_EQ(HTTPHeader::authorizationBearer("tok"), HTTPHeader("Authorization", "Bearer tok"));
    EXPECT_EQ(HTTPHeader::contentType("a/b").description(), "Content-Type: a/b");

    EXPECT_EQ(qualityEncoded({}), "");
    EXPECT_EQ(qualityEncoded({"a", "b", "c", "d", "e", "f"}), "a;q=1.0, b;q=0.9, c;q=0.8, d;q=0.7, e;q=0.6, f;q=0.5");
    EXPECT_EQ(HTTPHeader::defaultAcceptEncoding().value, "br;q=1.0, gzip;q=0.9, deflate;q=0.8");

    const auto& defaults = HTTPHeaders::default_();
    ASSERT_EQ(defaults.count(), 3u);
    EXPECT_EQ(defaults[0].name, "Accept-Encoding");
    EXPECT_EQ(defaults[1].name, "Accept-Language");
    EXPECT_EQ(defaults[2].name, "User-Agent");
    EXPECT_NE(defaults[2].value.find(") Hawser/5.7.1"), std::string::npos);
}

// The default headers are built from the environment of their first use and kept: a fresh
// process (no default built yet) takes the first six languages of its locale settings, and
// a later change of those settings changes nothing.
TEST(HTTPHeadersDeathTest, DefaultsAreBuiltOnceFromTheFirstUsesEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("LC_ALL", "de_DE.UTF-8", 1);
            ::setenv("LANGUAGE", "fr:de_AT:it:es:pt:nl:sv", 1);
            const std::string first = HTTPHeaders::default_()[1].value;
            ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
            ::setenv("LANGUAGE", "ja", 1);
            const std::string later = HTTPHeaders::default_()[1].value;
            const std::string direct = HTTPHeader::defaultAcceptLanguage().value;
            std::fprintf(stderr, "[%s]\n", first.c_str());
            std::exit(first == later && later == direct ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "\\[fr;q=1\\.0, de-AT;q=0\\.9, it;q=0\\.8, es;q=0\\.7, pt;q=0\\.6, nl;q=0\\.5\\]");
}

TEST(HTTPHeaders, HashFeedsNameThenValue) {
    const std::hash<HTTPHeader> hash;
    EXPECT_EQ(hash(HTTPHeader("Accept", "a/b")), hash(HTTPHeader("Accept", "a/b")));
    EXPECT_NE(hash(HTTPHeader("Accept", "a/b")), hash(HTTPHeader("a/b", "Accept")));
    EXPECT_NE(hash(HTTPHeader("Accept", "a/b")), hash(HTTPHeader("accept", "a/b")));
    std::unordered_set<HTTPHeader> set{HTTPHeader::accept("x"), HTTPHeader::accept("x"), HTTPHeader::accept("y")};
    EXPECT_EQ(set.size(), 2u);
}

TEST(HTTPHeaders, UserAgentFromBundleEntriesOrFallbacks) {
    platform::Value::Dictionary info{{"CFBundleExecutable", "Updater"},
                                     {"CFBundleIdentifier", "com.example.app"},
                                     {"CFBundleShortVersionString", "1.2"},
                                     {"CFBundleVersion", "34"}};
    EXPECT_EQ(userAgentText(info, {"/opt/x/prog"}, "Linux", "6.1.0"),
              "Updater/1.2 (com.example.app; build:34; Linux 6.1.0) Hawser/5.7.1");
    // A non-text entry counts as missing; the executable falls back to the program path.
    platform::Value::Dictionary partial{{"CFBundleExecutable", 5}, {"CFBundleVersion", "7"}};
    EXPECT_EQ(userAgentText(partial, {"/opt/x/prog/"}, "Linux", "6.1.0"),
              "prog/Unknown (Unknown; build:7; Linux 6.1.0) Hawser/5.7.1");
    EXPECT_EQ(userAgentText(std::nullopt, {}, "Linux", "5.10.0"),
              "Unknown/Unknown (Unknown; build:Unknown; Linux 5.10.0) Hawser/5.7.1");
}

TEST(HTTPHeaders, BridgesToRequestResponseAndConfiguration) {
    platform::URLRequest request(platform::URL::parse("https://example.com"));
    EXPECT_TRUE(headers(request).isEmpty());
    setHeaders(request, HTTPHeaders{{"X-One", "1"}, {"Accept", "a"}});
    EXPECT_EQ(request.value("x-one"), "1");
    EXPECT_EQ(headers(request).dictionary(), (std::map<std::string, std::string>{{"Accept", "a"}, {"X-One", "1"}}));

    platform::HTTPURLResponse response(*platform::URL::parse("https://example.com"), 200, "HTTP/1.1",
                                       platform::HTTPHeaderFields{{"Content-Type", "text/plain"}});
    EXPECT_EQ(headers(response).value("content-type"), "text/plain");

    platform::URLSessionConfiguration configuration;
    EXPECT_TRUE(headers(configuration).isEmpty());
    setHeaders(configuration, HTTPHeaders::default_());
    EXPECT_EQ(headers(configuration).value("User-Agent"), HTTPHeader::defaultUserAgent().value);
    (*configuration.httpAdditionalHeaders)["X-Count"] = 3;  // one value that is not text
    EXPECT_TRUE(headers(configuration).isEmpty());
}

TEST(HTTPMethod, ConstantsCompareByExactText) {
    EXPECT_EQ(HTTPMethod::get.rawValue, "GET");
    EXPECT_EQ(HTTPMethod::delete_.rawValue, "DELETE");
    EXPECT_EQ(HTTPMethod::query.rawValue, "QUERY");
    EXPECT_EQ(HTTPMethod("GET"), HTTPMethod::get);
    EXPECT_NE(HTTPMethod("get"), HTTPMethod::get);
    EXPECT_EQ(std::hash<HTTPMethod>()(HTTPMethod("PUT")), std::hash<HTTPMethod>()(HTTPMethod::put));
}
