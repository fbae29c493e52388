// Response values: debug texts, the body size limit, result transformations and the
// type-erased form the event monitors receive.
#include "Hawser/Response.h"

#include <gtest/gtest.h>

using namespace Hawser;
using platform::Data;

namespace {

platform::URLRequest makeRequest(const char* method, const char* url, platform::HTTPHeaderFields headers = {},
                                 std::optional<Data> body = std::nullopt) {
    platform::URLRequest request(platform::URL::parse(url));
    request.setHTTPMethod(std::string(method));
    for (const auto& [name, value] : headers.fields()) request.setValue(value, name);
    request.setHTTPBody(std::move(body));
    return request;
}

platform::HTTPURLResponsePtr makeResponse(int status, platform::HTTPHeaderFields headers = {}) {
    return std::make_shared<platform::HTTPURLResponse>(*platform::URL::parse("https://example.com/api"), status,
                                                       "HTTP/1.1", std::move(headers));
}

URLSessionTaskMetricsPtr metricsLasting(double seconds) {
    auto metrics = std::make_shared<platform::URLSessionTaskMetrics>();
    metrics->taskInterval.duration = seconds;
    return metrics;
}

using Text = platform::Result<std::string, HWError>;

// The debug text of a data response whose body came with this content-type header.
std::string withBody(Data body, platform::HTTPHeaderFields headers) {
    DataResponse<std::string> r(makeRequest("GET", "https://example.com/api"), makeResponse(200, std::move(headers)),
                                std::move(body), nullptr, 0, Text::success("ok"));
    return r.debugDescription();
}

}  // namespace

TEST(Response, DataDebugTextLaysOutRequestResponseBodyAndDurations) {
    DataResponse<std::string> response(makeRequest("GET", "https://example.com/api", {{"Accept", "application/json"}}),
                                       makeResponse(200, {{"X-B", "2"}, {"Content-Type", "application/json"}}),
                                       Data::fromString("  {\"a\": 1,\n \"b\": 2}\n"), metricsLasting(0.25), 0.001,
                                       Text::success("ok"));
    EXPECT_EQ(response.debugDescription(), "[Request]: GET https://example.com/api\n"
                                           "    [Headers]:\n"
                                           "        Accept: application/json\n"
                                           "    [Body]: None\n"
                                           "[Response]:\n"
                                           "    [Status Code]: 200\n"
                                           "    [Headers]:\n"
                                           "        Content-Type: application/json\n"
                                           "        X-B: 2\n"
                                           "    [Body]:\n"
                                           "        {\"a\": 1,\n"
                                           "         \"b\": 2}\n"
                                           "[Network Duration]: 0.25s\n"
                                           "[Serialization Duration]: 0.001s\n"
                                           "[Result]: success(ok)");
    EXPECT_EQ(response.description(), "success(ok)");
}

TEST(Response, DownloadDebugTextShowsFileAndResumeDataWithoutBody) {
    using FileResult = platform::Result<platform::URL, HWError>;
    DownloadResponse<platform::URL> response(
        makeRequest("POST", "https://example.com/upload", {{"Content-Type", "application/x-www-form-urlencoded"}},
                    Data::fromString("a=1")),
        makeResponse(404), platform::URL::parse("file:///tmp/package%20file.zip"), Data::fromString("abc"), nullptr, 0,
        FileResult::failure(
            HWError::responseValidationFailed(ResponseValidationFailureReason::UnacceptableStatusCode{404})));
    EXPECT_EQ(response.debugDescription(),
              "[Request]: POST https://example.com/upload\n"
              "    [Headers]:\n"
              "        Content-Type: application/x-www-form-urlencoded\n"
              "    [Body]: 3 bytes\n"
              "[Response]:\n"
              "    [Status Code]: 404\n"
              "    [Headers]: None\n"
              "[File URL]: /tmp/package file.zip\n"
              "[Resume Data]: 3 bytes\n"
              "[Network Duration]: None\n"
              "[Serialization Duration]: 0.0s\n"
              "[Result]: failure(HWError.responseValidationFailed: Response status code was unacceptable: 404.)");

    DownloadResponse<platform::URL> bare(makeRequest("GET", "https://example.com/f"), nullptr, std::nullopt,
                                         std::nullopt, metricsLasting(1), 0.5,
                                         FileResult::failure(HWError::explicitlyCancelled()));
    EXPECT_NE(bare.debugDescription().find("[Response]: None\n[File URL]: None\n[Resume Data]: None\n"
                                           "[Network Duration]: 1.0s\n[Serialization Duration]: 0.5s\n"),
              std::string::npos);
}

TEST(Response, BodyIsShownUpToTheLimitForTextualTypesOnly) {
    const std::string limit(100000, 'a');
    EXPECT_NE(withBody(Data::fromString(limit), {{"Content-Type", "text/plain"}}).find("[Body]:\n        aaaa"),
              std::string::npos);
    EXPECT_NE(withBody(Data::fromString(limit + "a"), {{"Content-Type", "text/plain"}}).find("[Body]: 100001 bytes"),
              std::string::npos);
    // The words match case-sensitively in the value; the header name in any case.
    EXPECT_NE(withBody(Data::fromString("{}"), {{"Content-Type", "Application/JSON"}}).find("[Body]: 2 bytes"),
              std::string::npos);
    EXPECT_NE(withBody(Data::fromString("<a/>"), {{"CONTENT-TYPE", "application/xml"}}).find("[Body]:\n        <a/>"),
              std::string::npos);
    EXPECT_NE(withBody(Data::fromString("{}"), {}).find("[Body]: 2 bytes"), std::string::npos);
    // Only white space: the label, then a line of eight spaces.
    EXPECT_NE(withBody(Data::fromString(" \n \n"), {{"Content-Type", "application/json"}}).find("[Body]:\n        \n"),
              std::string::npos);
    // Trimming takes Unicode white space and line breaks too, and nothing inside.
    EXPECT_NE(withBody(Data::fromString("\u00A0\u2028\t x\u3000y \u3000\u2029\u0085\u202F\r\n"),
                       {{"Content-Type", "text/plain"}})
                  .find("[Body]:\n        x\u3000y\n"),
              std::string::npos);
    EXPECT_NE(withBody(Data(), {{"Content-Type", "application/json"}}).find("    [Body]: None\n[Network"),
              std::string::npos);

    // Without a request only the result is shown.
    DataResponse<std::string> noRequest(std::nullopt, makeResponse(200), Data::fromString("x"), metricsLasting(1), 1,
                                        Text::success("ok"));
    EXPECT_EQ(noRequest.debugDescription(), "[Request]: None\n[Result]: success(ok)");
}

TEST(Response, TransformationsChangeOnlyTheResult) {
    auto metrics = metricsLasting(2);
    DataResponse<std::string> success(makeRequest("GET", "https://example.com/a"), makeResponse(200),
                                      Data::fromString("body"), metrics, 0.5, Text::success("text"));
    auto counted = success.map([](const std::string& s) { return s.size(); });
    EXPECT_EQ(counted.value(), 4u);
    EXPECT_EQ(counted.data, success.data);
    EXPECT_EQ(counted.metrics, metrics);
    EXPECT_EQ(counted.serializationDuration, 0.5);

    const auto raised = platform::NSError::withDescription("Test", 7, "raised");
    auto failed = success.tryMap([&](const std::string&) -> int { throw platform::ErrorException(raised); });
    ASSERT_TRUE(failed.error());
    EXPECT_EQ(*failed.error(), raised);
    EXPECT_EQ(failed.request, success.request);
    EXPECT_EQ(failed.response, success.response);

    DataResponse<std::string> failure(std::nullopt, nullptr, std::nullopt, nullptr, 0,
                                      Text::failure(HWError::explicitlyCancelled()));
    int calls = 0;
    auto untouched = failure.map([&](const std::string& s) {
        ++calls;
        return s;
    });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(untouched.error()->isExplicitlyCancelledError());
    auto remapped = failure.mapError([](const HWError& e) { return static_cast<int>(e.index()); });
    EXPECT_EQ(remapped.error(), 15);
    EXPECT_EQ(success
                  .tryMapError([&](const HWError&) -> ErrorPtr {
                      ++calls;
                      return nullptr;
                  })
                  .value(),
              "text");
    EXPECT_EQ(calls, 0);
}

TEST(Response, TypeErasedViewReadsBackTheValueAndPrintsTheSame) {
    DataResponse<std::string> typed(makeRequest("GET", "https://example.com/a"), makeResponse(200),
                                    Data::fromString("text"), metricsLasting(1), 0.5, Text::success("text"));
    AnyDataResponse erased = eraseType(typed);
    ASSERT_TRUE(erased.value());
    ASSERT_TRUE(erased.value()->as<std::string>());
    EXPECT_EQ(*erased.value()->as<std::string>(), "text");
    EXPECT_FALSE(erased.value()->as<int>());
    EXPECT_EQ(erased.value()->typeName(), "String");
    EXPECT_EQ(erased.debugDescription(), typed.debugDescription());

    DownloadResponse<platform::URL, HWError> download(
        std::nullopt, nullptr, std::nullopt, std::nullopt, nullptr, 0,
        platform::Result<platform::URL, HWError>::failure(HWError::explicitlyCancelled()));
    AnyDownloadResponse erasedDownload = eraseType(download);
    EXPECT_TRUE(erasedDownload.error()->isExplicitlyCancelledError());
    EXPECT_EQ(erasedDownload.description(), download.description());
}
