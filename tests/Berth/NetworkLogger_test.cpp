// The network logger: its lines per option set, and its cURL line run with real curl
// against the local server.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "Berth/BerthProvider.h"
#include "Berth/NetworkLoggerPlugin.h"
#include "berth_support.h"
#include "tests/support/TempDir.h"

using namespace Berth;
using berth_test::FieldTarget;
using platform::Data;
using Options = NetworkLoggerPlugin::Configuration::LogOptions;

namespace {

// A request view with given session headers and URL request.
struct SeenRequest : RequestType {
    std::optional<platform::URLRequest> urlRequest;
    std::map<std::string, std::string> session;
    std::optional<platform::URLRequest> request() const override { return urlRequest; }
    std::map<std::string, std::string> sessionHeaders() const override { return session; }
    RequestTypePtr authenticate(const std::string&, const std::string&,
                                platform::URLCredential::Persistence) const override {
        return nullptr;
    }
    RequestTypePtr authenticate(platform::URLCredentialPtr) const override { return nullptr; }
    RequestTypePtr cURLDescription(std::function<void(const std::string&)> handler) const override {
        handler("$ curl -v http://h.test/");
        return nullptr;
    }
};

// A logger whose lines are "identifier: message" and are collected, not printed.
struct Collected {
    std::mutex lock;
    std::vector<std::vector<std::string>> outputs;
    std::shared_ptr<NetworkLoggerPlugin> logger(Options options) {
        NetworkLoggerPlugin::Configuration::Formatter plain(
            [](const std::string& id, const std::string& message, const TargetType&) { return id + ": " + message; });
        return std::make_shared<NetworkLoggerPlugin>(NetworkLoggerPlugin::Configuration(
            plain,
            [this](const TargetType&, const std::vector<std::string>& items) {
                std::lock_guard guard(lock);
                outputs.push_back(items);
            },
            options));
    }
    std::vector<std::string> last() {
        std::lock_guard guard(lock);
        return outputs.empty() ? std::vector<std::string>{} : outputs.back();
    }
};

platform::URLRequest getRequest() {
    platform::URLRequest request(platform::URL::parse("http://h.test/items"));
    request.setHTTPMethod("GET");
    request.setValue("application/json", "Accept");
    return request;
}

std::vector<std::string> identifiers(const std::vector<std::string>& lines) {
    std::vector<std::string> ids;
    for (const auto& line : lines) ids.push_back(line.substr(0, line.find(':')));
    return ids;
}

}  // namespace

TEST(NetworkLogger, RequestLinesFollowTheOptions) {
    auto target = std::make_shared<FieldTarget>();
    SeenRequest seen;
    seen.urlRequest = getRequest();
    seen.session = {{"Accept", "*/*"}, {"User-Agent", "ua"}};
    Collected collected;

    collected.logger(Options::default_)->willSend(seen, *target);
    auto lines = collected.last();
    EXPECT_EQ(identifiers(lines), (std::vector<std::string>{"Request", "Request Headers", "HTTP Request Method"}));
    EXPECT_EQ(lines[0], "Request: http://h.test/items");
    EXPECT_EQ(lines[1], R"(Request Headers: ["Accept": "application/json", "User-Agent": "ua"])")
        << "the request's own header replaces the session's of the same name";
    EXPECT_EQ(lines[2], "HTTP Request Method: GET");

    collected.logger(Options::requestMethod)->willSend(seen, *target);
    EXPECT_EQ(identifiers(collected.last()), (std::vector<std::string>{"Request", "HTTP Request Method"}));
    // A request that never named its method is logged with the one it is sent with.
    auto unnamed = seen;
    unnamed.urlRequest->setHTTPMethod(std::nullopt);
    collected.logger(Options::requestMethod)->willSend(unnamed, *target);
    EXPECT_EQ(collected.last(), (std::vector<std::string>{"Request: http://h.test/items", "HTTP Request Method: GET"}));

    auto withBody = seen;
    withBody.urlRequest->setHTTPBody(Data(std::vector<std::uint8_t>{0xff, 0x00}));
    collected.logger(Options::requestBody)->willSend(withBody, *target);
    EXPECT_EQ(collected.last(), (std::vector<std::string>{"Request: http://h.test/items",
                                                          "Request Body: ## Cannot map data to String ##"}));
    withBody.urlRequest->setHTTPBodyStream(platform::InputStream::withData(Data::fromString("s")));
    collected.logger(Options::requestBody)->willSend(withBody, *target);
    EXPECT_EQ(identifiers(collected.last()), (std::vector<std::string>{"Request", "Request Body Stream"}));

    SeenRequest none;
    collected.logger(Options::verbose)->willSend(none, *target);
    EXPECT_EQ(collected.last(), std::vector<std::string>{"Request: (invalid request)"});

    collected.logger(Options::verbose | Options::formatRequestAscURL)->willSend(seen, *target);
    EXPECT_EQ(collected.last(), std::vector<std::string>{"Request: $ curl -v http://h.test/"});
}

TEST(NetworkLogger, ResponseAndErrorLinesFollowTheOptions) {
    FieldTarget target;
    auto http = std::make_shared<platform::HTTPURLResponse>(*platform::URL::parse("http://h.test/items"), 404,
                                                            "HTTP/1.1", platform::HTTPHeaderFields());
    auto withHTTP = Response::create(404, Data::fromString("not here"), std::nullopt, http);
    auto stubbed = Response::create(200, Data::fromString("ok"));
    auto success = BerthResult::success(stubbed);
    auto failureWithResponse = BerthResult::failure(BerthError::underlying(platform::NSError::make("E", 1), withHTTP));
    auto failureWithout = BerthResult::failure(BerthError::requestMapping("bad url"));
    struct Case {
        Options options;
        const BerthResult* result;
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {Options::verbose, &success, {"Response", "Response Body"}},
        {Options::verbose, &failureWithResponse, {"Response", "Response Body"}},
        {Options::verbose, &failureWithout, {"Error"}},
        {Options::successResponseBody, &failureWithResponse, {"Response", "Response Body"}},
        {Options::errorResponseBody, &success, {"Response"}},
        {Options::default_, &failureWithResponse, {"Response"}},
    };
    Collected collected;
    for (const auto& c : cases) {
        collected.logger(c.options)->didReceive(*c.result, target);
        EXPECT_EQ(identifiers(collected.last()), c.ids) << c.options.rawValue;
    }
    collected.logger(Options::verbose)->didReceive(success, target);
    EXPECT_EQ(collected.last(), (std::vector<std::string>{"Response: Received empty network response for FieldTarget.",
                                                          "Response Body: ok"}));
    collected.logger(Options::verbose)->didReceive(failureWithResponse, target);
    EXPECT_NE(collected.last()[0].find("http://h.test/items"), std::string::npos);
    EXPECT_NE(collected.last()[0].find("404"), std::string::npos);
    collected.logger(Options::verbose)->didReceive(failureWithout, target);
    EXPECT_EQ(collected.last()[0], "Error: Error calling FieldTarget : requestMapping(\"bad url\")");
}

// Providers log from their own queues at once: the one shared date formatter gives every
// thread a whole, well-formed entry.
TEST(NetworkLogger, DefaultEntriesCarryTheShortDateAndTimeFromAnyThread) {
    const std::regex entry(R"(Berth_Logger: \[\d{1,2}/\d{1,2}/\d{2}, \d{1,2}:\d{2}.[AP]M\] Request: message \d+)");
    std::atomic<int> malformed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            FieldTarget target;
            for (int i = 0; i < 200; ++i) {
                std::string line = NetworkLoggerPlugin::defaultEntryFormatter(
                    "Request", "message " + std::to_string(t * 1000 + i), target);
                if (!std::regex_match(line, entry)) {
                    ++malformed;
                    ADD_FAILURE() << line;
                    return;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(malformed, 0);
}

TEST(NetworkLogger, ItsCURLLineRepeatsTheRequestWithRealCurl) {
    berth_test::LocalServer server;
    std::mutex lock;
    std::vector<std::string> received;
    server.server.Post("/echo", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard guard(lock);
        received.push_back(req.get_header_value("X-Token") + " " + req.body);
        res.set_content("ok", "text/plain");
    });
    server.start();

    Collected collected;
    auto logger = collected.logger(Options::formatRequestAscURL);
    auto provider = BerthProvider<FieldTarget>::create(nullptr, nullptr, nullptr, nullptr, nullptr, {logger});
    FieldTarget target;
    target.base = server.url();
    target.path_ = "echo";
    target.method_ = Berth::HTTPMethod::post;
    target.headers_ = HeaderFields{{"X-Token", "it's \"quoted\""}};
    target.task_ = Task::requestData(Data::fromString("{\"a\": \"b\\\\c\"}"));
    bool done = false;
    provider->request(target, nullptr, nullptr, [&](const BerthResult& r) {
        EXPECT_TRUE(r.isSuccess());
        done = true;
    });
    ASSERT_TRUE(berth_test::runMainUntil([&] {
        std::lock_guard guard(collected.lock);
        return done && collected.outputs.size() == 2;
    }));
    std::string curlLine;
    for (const auto& output : collected.outputs)
        if (output.size() == 1 && output[0].rfind("Request: $ curl", 0) == 0) curlLine = output[0];
    ASSERT_FALSE(curlLine.empty()) << "one request line, holding the whole command";
    std::string command = curlLine.substr(std::string("Request: $ ").size());
    int status = -1;
    testing_support::runCommand(command + " -s -o /dev/null 2>/dev/null", &status);
    EXPECT_EQ(status, 0) << command;
    std::lock_guard guard(lock);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], "it's \"quoted\" {\"a\": \"b\\\\c\"}");
    EXPECT_EQ(received[1], received[0]) << command;
}
