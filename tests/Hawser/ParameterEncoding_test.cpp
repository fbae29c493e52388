// URL and JSON parameter encodings: placement, escaping, nesting and failures.
#include "Hawser/ParameterEncoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "Hawser/HWError.h"
#include "tests/support/TempDir.h"

using namespace Hawser;
using platform::Value;

namespace {

platform::URLRequest makeRequest(const char* method, const char* url, std::map<std::string, std::string> headers = {}) {
    platform::URLRequest request(platform::URL::parse(url));
    request.setHTTPMethod(std::string(method));
    for (const auto& [name, value] : headers) request.setValue(value, name);
    return request;
}

template <class F>
std::shared_ptr<const HWError> thrownHWError(F&& f) {
    try {
        f();
    } catch (const platform::ErrorException& e) {
        return asHWError(e.error());
    }
    return nullptr;
}

const char* form = "application/x-www-form-urlencoded; charset=utf-8";

}  // namespace

TEST(URLEncoding, PlacesParametersInTheQueryOrTheBody) {
    struct Row {
        const char* what;
        URLEncoding encoding;
        platform::URLRequest request;
        Parameters parameters;
        std::string url;
        std::optional<std::string> body;
        std::optional<std::string> contentType;
    };
    const std::vector<Row> rows = {
        {"GET appends to an existing query",
         URLEncoding::default_(),
         makeRequest("GET", "https://h/p?a=1"),
         {{"b", 2}},
         "https://h/p?a=1&b=2",
         std::nullopt,
         std::nullopt},
        {"a bare ? counts as a query",
         URLEncoding::default_(),
         makeRequest("GET", "https://h/p?"),
         {{"b", 2}},
         "https://h/p?&b=2",
         std::nullopt,
         std::nullopt},
        {"no parameters leave the URL alone",
         URLEncoding::default_(),
         makeRequest("GET", "https://h/p"),
         {},
         "https://h/p",
         std::nullopt,
         std::nullopt},
        {"HEAD and DELETE use the query too",
         URLEncoding::default_(),
         makeRequest("DELETE", "https://h/p#f"),
         {{"a", 1}},
         "https://h/p?a=1#f",
         std::nullopt,
         std::nullopt},
        {"POST goes to a form body",
         URLEncoding::default_(),
         makeRequest("POST", "https://h/p"),
         {{"b", 2}, {"a", 1}},
         "https://h/p",
         "a=1&b=2",
         form},
        {"an existing content type stays",
         URLEncoding::default_(),
         makeRequest("PUT", "https://h/p", {{"content-TYPE", "text/plain"}}),
         {{"a", 1}},
         "https://h/p",
         "a=1",
         "text/plain"},
        {"lower-case get is not GET",
         URLEncoding::default_(),
         makeRequest("get", "https://h/p"),
         {{"a", 1}},
         "https://h/p",
         "a=1",
         form},
        {"empty parameters still make an empty form body",
         URLEncoding::default_(),
         makeRequest("PATCH", "https://h/p"),
         {},
         "https://h/p",
         "",
         form},
        {"queryString always uses the query",
         URLEncoding::queryString(),
         makeRequest("POST", "https://h/p"),
         {{"a", 1}},
         "https://h/p?a=1",
         std::nullopt,
         std::nullopt},
        {"httpBody always uses the body",
         URLEncoding::httpBody(),
         makeRequest("GET", "https://h/p"),
         {{"a", 1}},
         "https://h/p",
         "a=1",
         form},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto encoded = row.encoding.encode(row.request, row.parameters);
        EXPECT_EQ(encoded.url()->absoluteString(), row.url);
        if (row.body) EXPECT_EQ(encoded.httpBody(), platform::Data::fromString(*row.body));
        else EXPECT_FALSE(encoded.httpBody());
        EXPECT_EQ(encoded.value("Content-Type"), row.contentType);
        // Absent parameters give back the request exactly as it was.
        EXPECT_EQ(row.encoding.encode(row.request, std::nullopt), row.request);
    }
}

TEST(URLEncoding, QueryTextSortsEscapesAndNests) {
    using AE = URLEncoding::ArrayEncoding;
    auto custom = AE::customEncoding([](const std::string& key, int i) { return key + "." + std::to_string(i); });
    struct Row {
        Parameters parameters;
        AE arrays;
        URLEncoding::BoolEncoding bools;
        std::string query;
    };
    const auto numeric = URLEncoding::BoolEncoding::numeric, literal = URLEncoding::BoolEncoding::literal;
    const std::vector<Row> rows = {
        {{{"b", 1}, {"a", 2}}, AE::brackets(), numeric, "a=2&b=1"},
        {{{"user", Value::Dictionary{{"name", "x y"}}}}, AE::brackets(), numeric, "user%5Bname%5D=x%20y"},
        {{{"ids", Value::Array{1, 2}}}, AE::brackets(), numeric, "ids%5B%5D=1&ids%5B%5D=2"},
        {{{"ids", Value::Array{1, 2}}}, AE::noBrackets(), numeric, "ids=1&ids=2"},
        {{{"ids", Value::Array{1, 2}}}, AE::indexInBrackets(), numeric, "ids%5B0%5D=1&ids%5B1%5D=2"},
        {{{"ids", Value::Array{1, 2}}}, custom, numeric, "ids.0=1&ids.1=2"},
        {{{"a", Value::Dictionary{{"b", Value::Array{1}}}}}, AE::brackets(), numeric, "a%5Bb%5D%5B%5D=1"},
        {{{"a", Value::Array{}}, {"b", Value::Dictionary{}}}, AE::brackets(), numeric, ""},
        {{{"t", true}, {"f", false}}, AE::brackets(), numeric, "f=0&t=1"},
        {{{"t", true}, {"f", false}}, AE::brackets(), literal, "f=false&t=true"},
        // An 8-bit integer is a number, never a Boolean.
        {{{"i", static_cast<std::int8_t>(1)}}, AE::brackets(), literal, "i=1"},
        {{{"d", 1.5}, {"e", 2.0}, {"n", Value()}}, AE::brackets(), numeric, "d=1.5&e=2&n=%3Cnull%3E"},
        {{{"v", "a+b&c=d/e?f"}}, AE::brackets(), numeric, "v=a%2Bb%26c%3Dd/e?f"},
        {{{"k[]", "#'!*"}}, AE::brackets(), numeric, "k%5B%5D=%23%27%21%2A"},
        {{{"\xC3\xBC", "\xC3\xA9"}}, AE::brackets(), numeric, "%C3%BC=%C3%A9"},
        // Bytes that are not UTF-8 are escaped one by one instead of passing through.
        {{{"bad", "a\xFF"
                  "b"}},
         AE::brackets(),
         numeric,
         "bad=a%FFb"},
    };
    for (const auto& row : rows) {
        URLEncoding encoding(URLEncoding::Destination::methodDependent, row.arrays, row.bools);
        EXPECT_EQ(encoding.query(row.parameters), row.query);
    }
}

TEST(URLEncoding, NestedQueryReadsBackThroughAStandardParser) {
    Parameters parameters{
        {"user", Value::Dictionary{{"name", "x y"}, {"tags", Value::Array{"a+b", "c&d"}}}},
        {"ok", true},
        {"n", 1.5},
        {"sym", "a+b&c=d/e?f;'#"},
        {"\xC3\xBC", "\xC3\xA9"},
    };
    std::string query = URLEncoding::default_().query(parameters);
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "query", query);
    testing_support::writeFile(dir / "expected",
                               R"({"user[name]": ["x y"], "user[tags][]": ["a+b", "c&d"], "ok": ["1"], "n": ["1.5"],)"
                               R"( "sym": ["a+b&c=d/e?f;'#"], "\u00fc": ["\u00e9"]})");
    testing_support::writeFile(dir / "check.py",
                               "import json, sys, urllib.parse\n"
                               "query = open(sys.argv[1]).read()\n"
                               "got = urllib.parse.parse_qs(query, keep_blank_values=True, strict_parsing=True)\n"
                               "expected = json.load(open(sys.argv[2]))\n"
                               "print('same' if got == expected else json.dumps(got))\n");
    int status = -1;
    std::string out = testing_support::runCommand("python3 " + (dir / "check.py").string() + " " +
                                                      (dir / "query").string() + " " + (dir / "expected").string(),
                                                  &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "same\n") << query;
}

TEST(URLEncoding, ARequestWithoutAURLFails) {
    platform::URLRequest noURL;
    noURL.setHTTPMethod(std::string("GET"));
    auto error = thrownHWError([&] { URLEncoding::default_().encode(noURL, Parameters{{"a", 1}}); });
    ASSERT_TRUE(error);
    ASSERT_TRUE(error->isParameterEncodingError());
    EXPECT_EQ(error->errorDescription(), "URL request to encode was missing a URL");

    // The convertible's own error comes first, unchanged.
    struct Failing : URLRequestConvertible {
        platform::URLRequest asURLRequest() const override { HWError::explicitlyCancelled().raise(); }
    };
    auto convertibleError = thrownHWError([] { URLEncoding::default_().encode(Failing(), std::nullopt); });
    ASSERT_TRUE(convertibleError);
    EXPECT_TRUE(convertibleError->isExplicitlyCancelledError());
}

TEST(JSONEncoding, WritesTheBodyAndTypeOrFailsWithoutChangingTheRequest) {
    auto request = makeRequest("POST", "https://h/p");
    EXPECT_EQ(JSONEncoding::default_().encode(request, std::nullopt), request);

    auto encoded = JSONEncoding::default_().encode(request, Parameters{{"a", 1}, {"b", Value::Array{true, Value()}}});
    EXPECT_EQ(encoded.httpBody()->toString(), R"({"a":1,"b":[true,null]})");
    EXPECT_EQ(encoded.value("Content-Type"), "application/json");

    auto typed = makeRequest("POST", "https://h/p", {{"Content-Type", "application/vnd.x+json"}});
    EXPECT_EQ(JSONEncoding::default_().encode(typed, Parameters{{"a", 1}}).value("Content-Type"),
              "application/vnd.x+json");
    EXPECT_EQ(JSONEncoding::default_()
                  .encodeJSONObject(URLRequestValue(request), Value(Value::Array{1, 2}))
                  .httpBody()
                  ->toString(),
              "[1,2]");
    EXPECT_NE(JSONEncoding::prettyPrinted().encode(request, Parameters{{"a", 1}}).httpBody()->toString().find('\n'),
              std::string::npos);

    for (const Value& bad : {Value(platform::Data::fromString("x")), Value(std::nan(""))}) {
        auto error = thrownHWError([&] { JSONEncoding::default_().encode(request, Parameters{{"v", bad}}); });
        ASSERT_TRUE(error);
        ASSERT_TRUE(error->isParameterEncodingError());
        EXPECT_TRUE(std::dynamic_pointer_cast<const JSONEncoding::Error>(error->underlyingError()));
        EXPECT_EQ(error->errorDescription(),
                  "JSON could not be encoded because of error:\nInvalid JSON object provided for parameter or object "
                  "encoding. This is most likely due to a value which can't be represented in Objective-C.");
    }
}
