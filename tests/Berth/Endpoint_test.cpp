// Targets and endpoints: URL requests per task, header merging, equality and hashing,
// validation codes, form-data parts, multi-targets and the access-token plugin.
#include <gtest/gtest.h>

#include <cmath>

#include "Berth/AccessTokenPlugin.h"
#include "Berth/BerthProvider.h"
#include "Berth/Endpoint.h"
#include "Berth/MultiTarget.h"
#include "berth_support.h"

using namespace Berth;
using berth_test::FieldTarget;
using platform::Data;
using platform::Value;

namespace {

EndpointPtr endpointFor(std::string url, Task task, HTTPMethod method = HTTPMethod::get,
                        std::optional<HeaderFields> headers = std::nullopt) {
    return std::make_shared<Endpoint>(
        std::move(url), [] { return EndpointSampleResponse::networkResponse(200, {}); }, std::move(method),
        std::move(task), std::move(headers));
}

std::optional<BerthError> requestError(const Endpoint& e) {
    try {
        e.urlRequest();
    } catch (const platform::ErrorException& ex) {
        if (auto b = asBerthError(ex.error())) return *b;
    }
    return std::nullopt;
}

struct Renamed {
    int myCount = 3;
    void encode(platform::Encoder& e) const { e.container()->encode(myCount, "myCount"); }
};
struct Unencodable {
    void encode(platform::Encoder& e) const { e.singleValueContainer()->encodeDouble(NAN); }
};

const Parameters query{{"b", Value("x y")}, {"a", Value(1)}};

}  // namespace

TEST(EndpointRequest, EachTaskPutsParametersAndBodyWhereTheyBelong) {
    platform::JSONEncoder snake;
    snake.keyEncodingStrategy = platform::JSONEncoder::KeyEncodingStrategy::convertToSnakeCase;
    auto parts =
        std::vector<MultipartFormData>{{MultipartFormData::FormDataProvider::data(Data::fromString("p")), "f"}};
    auto noDestination = DownloadDestination();
    struct Case {
        const char* name;
        Task task;
        HTTPMethod method;
        std::string url;
        std::optional<std::string> body;
        std::optional<std::string> contentType;
    };
    const std::string base = "http://h.test/v1/items";
    const Case cases[] = {
        {"plain", Task::requestPlain(), HTTPMethod::get, base, std::nullopt, std::nullopt},
        {"data", Task::requestData(Data::fromString("raw")), HTTPMethod::post, base, "raw", std::nullopt},
        {"json", Task::requestJSONEncodable(std::map<std::string, int>{{"k", 1}}), HTTPMethod::post, base, R"({"k":1})",
         "application/json"},
        {"custom json", Task::requestCustomJSONEncodable(Renamed{}, snake), HTTPMethod::post, base, R"({"my_count":3})",
         "application/json"},
        {"query parameters", Task::requestParameters(query, Hawser::URLEncoding::queryString()), HTTPMethod::post,
         base + "?a=1&b=x%20y", std::nullopt, std::nullopt},
        {"json parameters", Task::requestParameters(query, Hawser::JSONEncoding()), HTTPMethod::put, base,
         R"({"a":1,"b":"x y"})", "application/json"},
        {"composite data", Task::requestCompositeData(Data::fromString("d"), query), HTTPMethod::post,
         base + "?a=1&b=x%20y", "d", std::nullopt},
        {"composite data without parameters", Task::requestCompositeData(Data::fromString("d"), {}), HTTPMethod::post,
         base, "d", std::nullopt},
        {"composite parameters",
         Task::requestCompositeParameters({{"f", Value(true)}}, Hawser::URLEncoding::httpBody(), query),
         HTTPMethod::post, base + "?a=1&b=x%20y", "f=1", "application/x-www-form-urlencoded; charset=utf-8"},
        {"upload file", Task::uploadFile(platform::URL::fileURL("/tmp/x", false)), HTTPMethod::post, base, std::nullopt,
         std::nullopt},
        {"upload multipart", Task::uploadMultipart(parts), HTTPMethod::post, base, std::nullopt, std::nullopt},
        {"composite multipart", Task::uploadCompositeMultipart(parts, query), HTTPMethod::post, base + "?a=1&b=x%20y",
         std::nullopt, std::nullopt},
        {"download", Task::downloadDestination(noDestination), HTTPMethod::get, base, std::nullopt, std::nullopt},
        {"download parameters", Task::downloadParameters(query, Hawser::URLEncoding(), noDestination), HTTPMethod::get,
         base + "?a=1&b=x%20y", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        auto request = endpointFor(base, c.task, c.method)->urlRequest();
        EXPECT_EQ(request.url()->absoluteString(), c.url) << c.name;
        EXPECT_EQ(request.httpMethod(), c.method.rawValue) << c.name;
        EXPECT_EQ(request.httpBody() ? std::optional(request.httpBody()->toString()) : std::nullopt, c.body) << c.name;
        EXPECT_EQ(request.value("Content-Type"), c.contentType) << c.name;
        EXPECT_EQ(request.timeoutInterval(), 60) << c.name;
    }
}

TEST(EndpointRequest, TargetHeadersStayAndFailuresNameTheirStage) {
    auto json = endpointFor("http://h.test/", Task::requestJSONEncodable(1), HTTPMethod::post,
                            HeaderFields{{"Content-Type", "text/x-custom"}, {"X-A", "1"}});
    auto request = json->urlRequest();
    EXPECT_EQ(request.value("Content-Type"), "text/x-custom");
    EXPECT_EQ(request.value("X-A"), "1");

    auto invalid = requestError(*endpointFor("http://bad host/", Task::requestPlain()));
    ASSERT_TRUE(invalid);
    ASSERT_TRUE(invalid->is<BerthError::RequestMapping>());
    EXPECT_EQ(invalid->as<BerthError::RequestMapping>()->url, "http://bad host/");

    auto encoding = requestError(*endpointFor(
        "http://h.test/", Task::requestParameters({{"n", Value(NAN)}}, Hawser::JSONEncoding()), HTTPMethod::post));
    ASSERT_TRUE(encoding);
    EXPECT_TRUE(encoding->is<BerthError::ParameterEncoding>());
    EXPECT_TRUE(encoding->underlyingError());

    auto encodable = requestError(*endpointFor("http://h.test/", Task::requestJSONEncodable(Unencodable{})));
    ASSERT_TRUE(encodable);
    EXPECT_TRUE(encodable->is<BerthError::EncodableMapping>());

    // The default request mapping passes the first two as they are, others as underlying.
    struct MappingCase {
        const char* url;
        Task task;
        std::size_t expected;
    };
    for (auto [url, task, expected] : {MappingCase{"http://h.test/", Task::requestJSONEncodable(Unencodable{}), 6},
                                       MappingCase{"http://bad host/", Task::requestPlain(), 7}}) {
        std::optional<RequestResult> mapped;
        BerthProviderCore::defaultRequestMapping(endpointFor(url, task), [&](const RequestResult& r) { mapped = r; });
        ASSERT_TRUE(mapped && mapped->isFailure());
        EXPECT_EQ(mapped->error().index(), expected);
    }
}

TEST(EndpointRequestDeathTest, CompositeParametersRejectABodyEncodingOutsideTheBody) {
    auto endpoint = endpointFor(
        "http://h.test/", Task::requestCompositeParameters({{"a", Value(1)}}, Hawser::URLEncoding::queryString(), {}));
    EXPECT_DEATH(endpoint->urlRequest(), "Only URLEncoding that `bodyEncoding` accepts is URLEncoding.httpBody");
}

TEST(EndpointHeaders, MergeKeepsAbsenceAndOverwritesExactKeys) {
    auto none = endpointFor("http://h.test/", Task::requestPlain());
    EXPECT_EQ(none->adding(HeaderFields{})->httpHeaderFields, std::nullopt);
    EXPECT_EQ(none->adding(std::nullopt)->httpHeaderFields, std::nullopt);
    EXPECT_EQ(none->adding(HeaderFields{{"A", "1"}})->httpHeaderFields, (HeaderFields{{"A", "1"}}));

    auto some = endpointFor("http://h.test/", Task::requestPlain(), HTTPMethod::get, HeaderFields{{"A", "1"}});
    EXPECT_EQ(some->adding(HeaderFields{})->httpHeaderFields, (HeaderFields{{"A", "1"}}));
    EXPECT_EQ(some->adding(HeaderFields{{"A", "2"}, {"a", "3"}})->httpHeaderFields,
              (HeaderFields{{"A", "2"}, {"a", "3"}}));
    auto replaced = some->replacing(Task::requestData(Data::fromString("x")));
    EXPECT_EQ(replaced->httpHeaderFields, some->httpHeaderFields);
    EXPECT_EQ(replaced->task.index(), 1u);
}

TEST(EndpointIdentity, EqualityFollowsRequestsAndUploadPayloads) {
    auto a = endpointFor("http://h.test/x", Task::requestData(Data::fromString("1")), HTTPMethod::post);
    auto b = endpointFor("http://h.test/x", Task::requestData(Data::fromString("1")), HTTPMethod::post);
    auto otherBody = endpointFor("http://h.test/x", Task::requestData(Data::fromString("2")), HTTPMethod::post);
    EXPECT_TRUE(*a == *b);
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(*a == *otherBody);

    // No request on either side: the URL texts decide, whatever the methods.
    auto badA = endpointFor("bad url", Task::requestPlain(), HTTPMethod::get);
    auto badB = endpointFor("bad url", Task::requestPlain(), HTTPMethod::post, HeaderFields{{"A", "1"}});
    auto badC = endpointFor("other bad url", Task::requestPlain());
    EXPECT_TRUE(*badA == *badB);
    EXPECT_EQ(badA->hash(), badB->hash());
    EXPECT_FALSE(*badA == *badC);
    EXPECT_FALSE(*badA == *a);
    // ... and the upload payloads, whatever the task kinds, so that equal means equal hashes.
    using P = MultipartFormData::FormDataProvider;
    auto badFile = endpointFor("bad url", Task::uploadFile(platform::URL::fileURL("/tmp/1", false)));
    auto badParts = endpointFor("bad url", Task::uploadMultipart({{P::data(Data::fromString("a")), "f"}}));
    for (const auto& [x, y] : {std::pair{badA, badFile}, {badA, badParts}, {badFile, badParts}}) {
        EXPECT_FALSE(*x == *y);
        EXPECT_FALSE(*y == *x);
    }
    EXPECT_TRUE(*badFile == *endpointFor("bad url", Task::uploadFile(platform::URL::fileURL("/tmp/1", false))));

    auto file1 = endpointFor("http://h.test/u", Task::uploadFile(platform::URL::fileURL("/tmp/1", false)));
    auto file2 = endpointFor("http://h.test/u", Task::uploadFile(platform::URL::fileURL("/tmp/2", false)));
    EXPECT_FALSE(*file1 == *file2);

    std::vector<MultipartFormData> one{{P::data(Data::fromString("a")), "f"}};
    std::vector<MultipartFormData> two{{P::data(Data::fromString("b")), "f"}};
    auto multi = endpointFor("http://h.test/u", Task::uploadMultipart(one), HTTPMethod::post);
    EXPECT_FALSE(*multi == *endpointFor("http://h.test/u", Task::uploadMultipart(two), HTTPMethod::post));
    // Across the two multipart cases the parts are not compared.
    EXPECT_TRUE(*multi == *endpointFor("http://h.test/u", Task::uploadCompositeMultipart(two, {}), HTTPMethod::post));
}

TEST(FormData, PartsCompareByEveryFieldAndStreamsByIdentity) {
    using P = MultipartFormData::FormDataProvider;
    MultipartFormData absent{P::data(Data::fromString("x")), "n", "f", std::nullopt};
    MultipartFormData empty{P::data(Data::fromString("x")), "n", "f", std::string()};
    EXPECT_FALSE(absent == empty);
    EXPECT_NE(absent.hash(), empty.hash());
    EXPECT_TRUE(absent == MultipartFormData(P::data(Data::fromString("x")), "n", "f"));

    auto stream = platform::InputStream::withData(Data::fromString("s"));
    EXPECT_TRUE(P::stream(stream, 1) == P::stream(stream, 1));
    EXPECT_FALSE(P::stream(stream, 1) == P::stream(stream, 2));
    EXPECT_FALSE(P::stream(stream, 1) == P::stream(platform::InputStream::withData(Data::fromString("s")), 1));
    EXPECT_FALSE(P::file(platform::URL::fileURL("/a", false)) == P::data(Data::fromString("/a")));
}

TEST(Targets, URLsValidationCodesAndMultipartMethods) {
    FieldTarget target;
    target.path_ = "";
    EXPECT_EQ(url(target).absoluteString(), "http://example.com/api");
    target.path_ = "v2/list";
    EXPECT_EQ(url(target).absoluteString(), "http://example.com/api/v2/list");

    EXPECT_TRUE(ValidationType::none().statusCodes().empty());
    auto success = ValidationType::successCodes().statusCodes();
    EXPECT_EQ(success.size(), 100u);
    EXPECT_EQ(success.front(), 200);
    EXPECT_EQ(success.back(), 299);
    EXPECT_EQ(ValidationType::successAndRedirectCodes().statusCodes().back(), 399);
    EXPECT_EQ(ValidationType::customCodes({404, 200, 404}).statusCodes(), (std::vector<int>{404, 200, 404}));
    EXPECT_TRUE(ValidationType::customCodes({}).statusCodes().empty());
    EXPECT_TRUE(ValidationType::customCodes({1, 2}) == ValidationType::customCodes({1, 2}));
    EXPECT_FALSE(ValidationType::customCodes({1, 2}) == ValidationType::customCodes({2, 1}));
    EXPECT_FALSE(ValidationType::none() == ValidationType::successCodes());

    for (const char* m : {"POST", "PUT", "PATCH", "CONNECT"}) EXPECT_TRUE(supportsMultipart(HTTPMethod(m)));
    for (const char* m : {"GET", "post", "DELETE"}) EXPECT_FALSE(supportsMultipart(HTTPMethod(m)));

    // The default mapping reads the sample data when the stub runs, not before.
    auto shared = std::make_shared<FieldTarget>();
    auto endpoint = BerthProviderCore::defaultEndpointMapping(shared);
    EXPECT_EQ(endpoint->url, "http://example.com/api/items");
    shared->sample = Data::fromString("later");
    auto sampleResponse = endpoint->sampleResponseClosure();
    auto sample = sampleResponse.as<EndpointSampleResponse::NetworkResponse>();
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->statusCode, 200);
    EXPECT_EQ(sample->data.toString(), "later");
}

TEST(MultiTargetAndAccessToken, ForwardsPropertiesAndTokensGoToTheWrappedTarget) {
    FieldTarget inner;
    inner.name = "inner";
    inner.headers_ = HeaderFields{{"H", "1"}};
    inner.authorization = AuthorizationType::bearer();
    MultiTarget multi(inner);
    EXPECT_EQ(multi.path(), "items");
    EXPECT_EQ(multi.headers(), inner.headers_);
    EXPECT_TRUE(multi.validationType() == ValidationType::none());
    EXPECT_EQ(multi.authorizationType(), AuthorizationType::bearer());

    AccessTokenPlugin plugin([](const TargetType& t) { return "token-for-" + t.description(); });
    platform::URLRequest request(platform::URL::parse("http://h.test/"));
    EXPECT_EQ(plugin.prepare(request, multi).value("Authorization"), "Bearer token-for-inner");

    FieldTarget noType;
    EXPECT_EQ(plugin.prepare(request, noType).value("Authorization"), std::nullopt);
    struct Plain : TargetType {
        platform::URL baseURL() const override { return *platform::URL::parse("http://h.test"); }
        std::string path() const override { return ""; }
        HTTPMethod method() const override { return HTTPMethod::get; }
        Data sampleData() const override { return {}; }
        Task task() const override { return Task::requestPlain(); }
        std::optional<HeaderFields> headers() const override { return std::nullopt; }
    };
    MultiTarget wrapsPlain{Plain{}};
    EXPECT_EQ(wrapsPlain.authorizationType(), std::nullopt);
    EXPECT_EQ(plugin.prepare(request, wrapsPlain).value("Authorization"), std::nullopt);

    FieldTarget custom;
    custom.name = "c";
    custom.authorization = AuthorizationType::custom("");
    EXPECT_EQ(plugin.prepare(request, custom).value("Authorization"), " token-for-c");

    request.setValue("Basic abc", "Authorization");
    EXPECT_EQ(plugin.prepare(request, custom).value("Authorization"), "Basic abc,  token-for-c")
        << "appended to the value already there";
}
