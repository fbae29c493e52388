// URL-session promises against a real local server: the typed data promise with its
// status check, downloads moved into place, and the runtime-facing data task's
// JSON, text and raw-data branches with its failure errors.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "Pledge/NSURLSession+AnyPromise.h"
#include "Pledge/URLSession+Promise.h"
#include "platform/net/URLError.h"
#include "platform/net/URLResponseObject.h"
#include "support.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TempDir.h"

using namespace Pledge;
using platform::Value;
using testing_support::LocalHTTPServer;

namespace {

LocalHTTPServer::Reply reply(const LocalHTTPServer::Received& r) {
    auto typed = [](int status, std::string body, std::string type) {
        return LocalHTTPServer::Reply(status, std::move(body), {{"Content-Type", std::move(type)}});
    };
    if (r.path == "/ok") return typed(200, "hello", "text/plain");
    if (r.path == "/missing") return typed(404, "not here", "text/plain");
    if (r.path == "/private") return typed(401, "who?", "text/plain");
    if (r.path == "/json") return typed(200, "[1,2]", "application/json");
    if (r.path == "/badjson") return typed(200, "not json!!", "application/json");
    if (r.path == "/space") return typed(200, " ", "application/json");
    if (r.path == "/latin") return typed(200, "\xE9", "text/plain; charset=iso-8859-1");
    if (r.path == "/badtext") return typed(200, "\xFF\xFE", "text/plain; charset=utf-8");
    if (r.path == "/image") return typed(200, "\x89PNG", "image/png");
    if (r.path == "/capitals") return typed(200, "[1,2]", "Application/JSON");
    if (r.path == "/empty") return typed(200, "", "application/octet-stream");
    if (r.path == "/emptymissing") return typed(404, "", "text/plain");
    return typed(200, "file body", "application/octet-stream");
}

class PledgeURLPromise : public ::testing::Test {
protected:
    LocalHTTPServer server{reply};
    platform::URLSessionPtr session =
        platform::URLSession::create(platform::URLSessionConfiguration::defaultSessionConfiguration());

    platform::URL url(const std::string& path) { return *platform::URL::parse(server.url(path)); }

    template <class P>
    void settle(const P& promise) {
        ASSERT_TRUE(pledge_test::runUntil([&] { return promise.isResolved(); }));
    }
    // The runtime-facing result, as sealed.
    Value load(const std::string& path) {
        auto p = promiseDataTaskWithRequest(session, platform::URLRequest(url(path)));
        return p->wait();
    }
};

std::string text(const platform::Data& data) { return data.toString(); }

}  // namespace

TEST_F(PledgeURLPromise, DataWithValidation) {
    auto ok = validate(dataTask(session, PLGNamespacer::promise, url("/ok")));
    settle(ok);
    ASSERT_TRUE(ok.isFulfilled()) << errorText(ok.error());
    EXPECT_EQ(text(ok.value()->data), "hello");

    struct Case {
        const char* path;
        std::string description;
    };
    for (const Case& c : {Case{"/missing", "Invalid HTTP response (404) for " + url("/missing").absoluteString() + "."},
                          Case{"/private", "Unauthorized (" + url("/private").absoluteString() + ")"}}) {
        SCOPED_TRACE(c.path);
        auto checked = validate(dataTask(session, PLGNamespacer::promise, url(c.path)));
        settle(checked);
        auto error = std::dynamic_pointer_cast<const PLGHTTPError>(checked.error());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->errorDescription(), c.description);
        EXPECT_EQ(error->localizedDescription(), c.description);
        EXPECT_EQ(error->bodyText(), text(error->which().body));
    }
    auto missing = validate(dataTask(session, PLGNamespacer::promise, url("/missing")));
    settle(missing);
    auto error = std::dynamic_pointer_cast<const PLGHTTPError>(missing.error());
    EXPECT_EQ(error->bodyText(), "not here");
    EXPECT_EQ(error->failureReason(), "not here");
    EXPECT_TRUE(error->description().starts_with("<NSHTTPResponse> {\n"));
    EXPECT_NE(error->description().find("\"Status Code\" = 404;"), std::string::npos);
    EXPECT_NE(error->description().find("Body = \"not here\";"), std::string::npos);

    auto binary = PLGHTTPError(PLGHTTPError::BadStatusCode{500, platform::Data::fromString("\xFF\xFE\xFD"), nullptr});
    EXPECT_EQ(binary.errorDescription(), "Invalid HTTP response (500) for nil.");
    EXPECT_FALSE(binary.bodyText().has_value());
    EXPECT_NE(binary.description().find("Body = \"3 bytes\";"), std::string::npos);
    EXPECT_EQ(binary.description().find("URL ="), std::string::npos);
    EXPECT_FALSE(binary.jsonBody().has_value());
    EXPECT_FALSE(binary.decodedBody<std::vector<int>>().has_value());

    auto json = PLGHTTPError(PLGHTTPError::BadStatusCode{422, platform::Data::fromString("[1,2]"), nullptr});
    EXPECT_EQ(json.jsonBody(), Value(Value::Array{Value(1), Value(2)}));
    EXPECT_EQ(json.decodedBody<std::vector<int>>(), (std::vector<int>{1, 2}));
}

// Handlers read the body where the promise keeps it, inline or on a queue: a large answer
// is held once, whatever is chained to it.
TEST_F(PledgeURLPromise, HandlersReadTheBodyWithoutACopy) {
    auto answer = dataTask(session, PLGNamespacer::promise, url("/ok"));
    std::atomic<const std::uint8_t*> inlined{nullptr}, queued{nullptr};
    auto first = answer.done(On::inlined(), [&](const URLDataResult& r) { inlined = r.data.data(); });
    auto second =
        answer.done(platform::DispatchQueue::global(), [&](const URLDataResult& r) { queued = r.data.data(); });
    settle(first);
    settle(second);
    const auto* kept = answer.box()->sealedValue()->value().data.data();
    EXPECT_EQ(inlined.load(), kept);
    EXPECT_EQ(queued.load(), kept);
}

TEST_F(PledgeURLPromise, DownloadMovesIntoPlaceAndNeverOverwrites) {
    testing_support::TempDir dir;
    auto destination = platform::URL::fileURL((dir / "saved.bin").string(), false);
    auto first = downloadTask(session, PLGNamespacer::promise, url("/file"), destination);
    settle(first);
    ASSERT_TRUE(first.isFulfilled()) << errorText(first.error());
    EXPECT_EQ(first.value()->saveLocation, destination);
    EXPECT_EQ(testing_support::readFile(dir / "saved.bin"), "file body");

    auto second = downloadTask(session, PLGNamespacer::promise, url("/image"), destination);
    settle(second);
    ASSERT_TRUE(second.isRejected());
    EXPECT_EQ(second.error()->code(), 516);  // the file exists
    EXPECT_EQ(testing_support::readFile(dir / "saved.bin"), "file body");
}

TEST_F(PledgeURLPromise, RuntimeFacingBranches) {
    auto elements = [](const Value& v) {
        auto array = v.asObject<PLGArray>();
        EXPECT_TRUE(array);
        return array ? std::array<Value, 3>{array->objectAtIndexedSubscript(0), array->objectAtIndexedSubscript(1),
                                            array->objectAtIndexedSubscript(2)}
                     : std::array<Value, 3>{};
    };
    struct Case {
        const char* path;
        Value object;
    };
    for (const Case& c : {Case{"/json", Value(Value::Array{Value(1), Value(2)})}, Case{"/space", Value()},
                          Case{"/latin", Value("\u00e9")}, Case{"/ok", Value("hello")},
                          Case{"/image", Value(platform::Data::fromString("\x89PNG"))},
                          Case{"/capitals", Value(platform::Data::fromString("[1,2]"))},  // not JSON as sent
                          Case{"/empty", Value(platform::Data())}}) {
        SCOPED_TRACE(c.path);
        auto [object, response, data] = elements(load(c.path));
        EXPECT_EQ(object, c.object);
        EXPECT_TRUE(response.asObject<platform::URLResponseObject>());
        EXPECT_TRUE(data.isData());
    }

    struct Failure {
        const char* path;
        std::int64_t code;
        std::string domain;
    };
    for (const Failure& f : {Failure{"/missing", -1011, platform::NSURLErrorDomain},
                             Failure{"/badtext", -1016, platform::NSURLErrorDomain}}) {
        SCOPED_TRACE(f.path);
        auto error = platform::errorFromValue(load(f.path));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), f.domain);
        EXPECT_EQ(error->code(), f.code);
        auto info = error->userInfo();
        EXPECT_EQ(info[platform::NSURLErrorFailingURLStringErrorKey], Value(url(f.path).absoluteString()));
        EXPECT_TRUE(info[PLGURLErrorFailingDataKey].isData());
        EXPECT_TRUE(info[PLGURLErrorFailingURLResponseKey].asObject<platform::URLResponseObject>());
    }

    auto json = platform::errorFromValue(load("/badjson"));
    ASSERT_TRUE(json);
    EXPECT_EQ(json->domain(), platform::NSCocoaErrorDomain);
    EXPECT_TRUE(json->localizedDescription().starts_with(
        "The server claimed a 10 bytes JSON response, but decoding failed with: "));
    EXPECT_EQ(json->userInfo()[PLGURLErrorFailingStringKey], Value("not json!!"));

    // A session that completes on the main thread still resolves its promise.
    auto onMain = platform::URLSession::create(platform::URLSessionConfiguration::defaultSessionConfiguration(),
                                               nullptr, platform::OperationQueue::main());
    auto fromMain = promiseDataTaskWithRequest(onMain, platform::URLRequest(url("/ok")));
    ASSERT_TRUE(pledge_test::runUntil([&] { return !fromMain->pending(); }));
    EXPECT_EQ(fromMain->objectValue(), Value("hello"));

    platform::URLRequest nowhere(platform::URL::parse("http://127.0.0.1:1/"));
    auto refused = platform::errorFromValue(promiseDataTaskWithRequest(session, nowhere)->wait());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->domain(), platform::NSURLErrorDomain);
    EXPECT_FALSE(refused->userInfo().contains(PLGURLErrorFailingDataKey));  // no body came
}

TEST_F(PledgeURLPromise, RuntimeFacingNoBodyStaysApartFromAnEmptyBody) {
    // An empty body is data, in a rejection as in a fulfilment.
    auto emptyMissing = platform::errorFromValue(load("/emptymissing"));
    ASSERT_TRUE(emptyMissing);
    EXPECT_EQ(emptyMissing->userInfo()[PLGURLErrorFailingDataKey], Value(platform::Data()));

    // No body at all is nil, whatever the response; the JSON branch reads it as empty.
    platform::URLRequest request(url("/none"));
    auto http = [&](std::string type) {
        return std::make_shared<platform::HTTPURLResponse>(
            url("/none"), 200, "HTTP/1.1", platform::HTTPHeaderFields{{"Content-Type", std::move(type)}});
    };
    auto plain = std::make_shared<platform::URLResponse>(url("/none"), std::nullopt, -1, std::nullopt);
    struct Case {
        const char* name;
        platform::URLResponsePtr response;
        Value object;
    };
    for (const Case& c :
         {Case{"not HTTP", plain, Value()}, Case{"no response", nullptr, Value()},
          Case{"raw data type", http("image/png"), Value()}, Case{"text", http("text/plain"), Value("")}}) {
        SCOPED_TRACE(c.name);
        auto array = dataTaskOutcome(request, std::nullopt, c.response, nullptr).asObject<PLGArray>();
        ASSERT_TRUE(array);
        EXPECT_EQ(array->objectAtIndexedSubscript(0), c.object);
        EXPECT_EQ(array->objectAtIndexedSubscript(1).isNull(), c.response == nullptr);
        EXPECT_EQ(array->objectAtIndexedSubscript(2), Value());
    }
    auto json = platform::errorFromValue(dataTaskOutcome(request, std::nullopt, http("application/json"), nullptr));
    ASSERT_TRUE(json);
    EXPECT_FALSE(json->userInfo().contains(PLGURLErrorFailingDataKey));
    EXPECT_FALSE(json->userInfo().contains(PLGURLErrorFailingStringKey));
    EXPECT_TRUE(json->userInfo().contains(PLGURLErrorFailingURLResponseKey));
}
