// Retry policies: the decision table on requests with a given history, and real retries
// with back-off against a local server that fails twice.
#include <gtest/gtest.h>

#include <chrono>

#include "Hawser/RetryPolicy.h"
#include "Hawser/Session.h"
#include "Hawser/Validation.h"
#include "tests/Hawser/server_support.h"

using namespace Hawser;
using platform::URLError;

namespace {

// A request whose last URL request, response and retry count are given.
class Probe : public Request {
public:
    Probe(std::optional<platform::URLRequest> last, platform::HTTPURLResponsePtr response, std::int64_t count)
        : Request(platform::UUID(), platform::DispatchQueue::create("probe"), platform::DispatchQueue::create("s"),
                  nullptr, nullptr, {}),
          last_(std::move(last)), response_(std::move(response)), count_(count) {}
    std::optional<platform::URLRequest> lastRequest() const override { return last_; }
    platform::HTTPURLResponsePtr response() const override { return response_; }
    std::int64_t retryCount() const override { return count_; }

private:
    std::optional<platform::URLRequest> last_;
    platform::HTTPURLResponsePtr response_;
    std::int64_t count_;
};

std::shared_ptr<Probe> probe(std::optional<std::string> method, std::optional<int> status, std::int64_t count = 0) {
    std::optional<platform::URLRequest> last;
    if (method) {
        last = platform::URLRequest(platform::URL::parse("http://h/"));
        last->setHTTPMethod(*method);
    }
    platform::HTTPURLResponsePtr response;
    if (status)
        response = std::make_shared<platform::HTTPURLResponse>(*platform::URL::parse("http://h/"), *status, "HTTP/1.1",
                                                               platform::HTTPHeaderFields{});
    return std::make_shared<Probe>(last, response, count);
}

// The delay of a retry, or -1 for doNotRetry.
double decide(RetryPolicy& policy, const RequestPtr& request, const platform::ErrorPtr& error) {
    double answer = -2;
    policy.retry(request, nullptr, error, [&](RetryResult r) { answer = r.delay().value_or(-1); });
    return answer;  // -2 would mean the completion was not called before retry returned
}

platform::ErrorPtr urlError(URLError::Code code) { return URLError::make(code); }

}  // namespace

TEST(RetryPolicy, Decisions) {
    RetryPolicy policy;
    const auto timedOut = urlError(URLError::Code::timedOut);
    const auto wrapped = HWError::sessionTaskFailed(urlError(URLError::Code::notConnectedToInternet)).shared();
    const auto badStatus =
        HWError::responseValidationFailed(ResponseValidationFailureReason::UnacceptableStatusCode{503}).shared();
    struct Case {
        std::shared_ptr<Probe> request;
        platform::ErrorPtr error;
        double delay;
        const char* what;
    };
    const std::vector<Case> cases{
        {probe("GET", 503), badStatus, 0.5, "first retry"},
        {probe("GET", 503, 1), badStatus, 1.0, "second retry"},
        {probe("GET", 503, 2), badStatus, -1, "limit reached"},
        {probe("GET", 503, -1), badStatus, 0.25, "negative count counts as under the limit"},
        {probe("POST", 503), badStatus, -1, "POST is not idempotent"},
        {probe("get", 503), badStatus, -1, "method names compared exactly"},
        {probe("GET", 404, 0), timedOut, 0.5, "the status does not decide, the error does"},
        {probe("GET", 404, 0), badStatus, -1, "neither status nor transport error"},
        {probe("DELETE", std::nullopt), wrapped, 0.5, "transport error beneath an HWError"},
        {probe("GET", std::nullopt), urlError(URLError::Code::cancelled), -1, "cancellation"},
        {probe("GET", std::nullopt), urlError(URLError::Code::serverCertificateUntrusted), -1, "untrusted"},
        {probe(std::nullopt, 503), badStatus, -1, "no URL request was made"},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(decide(policy, c.request, c.error), c.delay) << c.what;

    RetryPolicy never(0);
    EXPECT_EQ(decide(never, probe("GET", 503), badStatus), -1);
    RetryPolicy threes(5, 3, 1);
    for (auto [count, delay] : {std::pair{0, 1.0}, {1, 3.0}, {2, 9.0}})
        EXPECT_DOUBLE_EQ(decide(threes, probe("GET", 500, count), badStatus), delay);

    ConnectionLostRetryPolicy lost;
    EXPECT_EQ(decide(lost, probe("GET", 503), badStatus), -1);
    EXPECT_EQ(decide(lost, probe("GET", 503), timedOut), -1);
    EXPECT_EQ(decide(lost, probe("GET", std::nullopt), urlError(URLError::Code::networkConnectionLost)), 0.5);
    EXPECT_EQ(RetryPolicy::defaultRetryableURLErrorCodes().size(), 18u);

    // The factories pass every setting through, each defaulting as the constructors do.
    auto made = retryPolicy(4, 3, 0.25, {HTTPMethod("POST")}, {418}, {URLError::Code::cannotFindHost});
    EXPECT_EQ(made->retryLimit, 4u);
    EXPECT_EQ(made->exponentialBackoffBase, 3u);
    EXPECT_DOUBLE_EQ(made->exponentialBackoffScale, 0.25);
    EXPECT_EQ(made->retryableHTTPMethods, std::set<HTTPMethod>{HTTPMethod("POST")});
    EXPECT_EQ(made->retryableHTTPStatusCodes, std::set<int>{418});
    EXPECT_EQ(made->retryableURLErrorCodes, std::set<URLError::Code>{URLError::Code::cannotFindHost});
    auto byDefault = retryPolicy();
    EXPECT_EQ(byDefault->retryLimit, RetryPolicy::defaultRetryLimit);
    EXPECT_EQ(byDefault->retryableURLErrorCodes, RetryPolicy::defaultRetryableURLErrorCodes());
    auto lostMade = connectionLostRetryPolicy(1, 4, 2, {HTTPMethod("PATCH")});
    EXPECT_EQ(decide(*lostMade, probe("PATCH", std::nullopt), urlError(URLError::Code::networkConnectionLost)), 2);
    EXPECT_EQ(decide(*lostMade, probe("PATCH", std::nullopt, 1), urlError(URLError::Code::networkConnectionLost)), -1);
    EXPECT_EQ(connectionLostRetryPolicy()->retryableHTTPMethods, RetryPolicy::defaultRetryableHTTPMethods());
}

TEST(RetryPolicyDeathTest, BaseBelowTwoIsRefused) {
    EXPECT_DEATH(RetryPolicy(2, 1), "exponentialBackoffBase");
    EXPECT_DEATH(ConnectionLostRetryPolicy(2, 0), "exponentialBackoffBase");
}

TEST(RetryPolicy, RetriesGETWithBackOffButNotPOST) {
    using Clock = std::chrono::steady_clock;
    std::mutex mutex;
    std::map<std::string, std::vector<Clock::time_point>> arrivals;
    server_support::LocalServer server([&](const server_support::HTTPExchange& exchange) {
        std::lock_guard lock(mutex);
        auto& times = arrivals[exchange.method];
        times.push_back(Clock::now());
        int status = times.size() < 3 ? 503 : 200;
        return server_support::HTTPReply{status, "", {{"Content-Type", "text/plain"}}, {"n"}};
    });
    // A short scale keeps the test fast; the delays still double: 0.1 s, then 0.2 s.
    auto session = Session::create(platform::URLSessionConfiguration::defaultSessionConfiguration(), nullptr, nullptr,
                                   true, nullptr, nullptr, std::make_shared<RetryPolicy>(2, 2, 0.1));

    auto get = validate(session->request(server.url("/r")));
    get->resume();
    ASSERT_TRUE(server_support::waitForFinish(get));
    EXPECT_FALSE(get->error()) << get->error()->errorDescription();
    EXPECT_EQ(get->retryCount(), 2);
    EXPECT_EQ(get->response()->statusCode(), 200);

    auto post = validate(session->request(server.url("/r"), HTTPMethod::post));
    post->resume();
    ASSERT_TRUE(server_support::waitForFinish(post));
    ASSERT_TRUE(post->error());
    EXPECT_EQ(post->error()->responseCode(), 503);
    EXPECT_EQ(post->retryCount(), 0);

    std::lock_guard lock(mutex);
    ASSERT_EQ(arrivals["GET"].size(), 3u);
    EXPECT_EQ(arrivals["POST"].size(), 1u);
    auto gap = [&](int i) {
        return std::chrono::duration<double>(arrivals["GET"][i + 1] - arrivals["GET"][i]).count();
    };
    EXPECT_GE(gap(0), 0.1);
    EXPECT_GE(gap(1), 0.2);
}
