// Request publishers over a real local server: nothing starts before the first demand
// (nor twice for two racing ones), one response then the end, failures only through
// value(), cancellation before and after the demand, and stream events with the
// completion last.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Hawser/PublisherFactories.h"
#include "Hawser/Session.h"
#include "platform/runloop/RunLoop.h"
#include "server_support.h"
#include "tests/support/TempDir.h"

namespace {

using namespace Hawser;
using server_support::LocalServer;
namespace combine = platform::combine;

bool waitUntil(const std::function<bool()>& condition) { return platform::RunLoop::runUntil(condition, 10); }

SessionPtr lazySession() {
    return Session::create(platform::URLSessionConfiguration::defaultSessionConfiguration(), nullptr, nullptr,
                           /*startRequestsImmediately=*/false);
}

// Holds its subscription and asks only when told; counts what arrives.
template <class Output>
struct Manual final : combine::Subscriber<Output, combine::Never> {
    combine::SubscriptionPtr subscription;
    std::vector<Output> values;
    bool finished = false;
    void receive(combine::SubscriptionPtr s) override { subscription = std::move(s); }
    combine::Demand receive(const Output& value) override {
        values.push_back(value);
        return combine::Demand::none();
    }
    // A finished subscriber lets its subscription go, which holds it in turn.
    void receive(const combine::Completion<combine::Never>&) override {
        subscription.reset();
        finished = true;
    }
};

// Subscribes `publisher`, checks nothing happens until the first demand of `demand`,
// then that exactly one request is made; answers how many values came.
template <class P>
std::size_t demandOnce(const P& publisher, const RequestPtr& request, const LocalServer& server,
                       combine::Demand demand) {
    auto subscriber = std::make_shared<Manual<typename P::OutputType>>();
    publisher.receive(subscriber);
    EXPECT_TRUE(request->isInitialized());
    EXPECT_EQ(server.requestCount(), 0);
    subscriber->subscription->request(demand);
    subscriber->subscription->request(demand);  // a second demand changes nothing
    EXPECT_TRUE(waitUntil([&] { return subscriber->finished; }));
    EXPECT_EQ(server.requestCount(), 1);
    return subscriber->values.size();
}

}  // namespace

TEST(Publishers, EachStartsItsRequestOnTheFirstDemandOnly) {
    testing_support::TempDir temp;
    testing_support::ScopedTemporaryFolder temporary(temp.path());  // the downloaded file goes with `temp`
    LocalServer server([](const LocalServer::Received&) { return LocalServer::Reply{200, "payload"}; });
    {
        auto session = lazySession();
        auto request = session->request(server.url("/data"));
        EXPECT_EQ(demandOnce(publishString(request), request, server, combine::Demand::max(1)), 1u);
    }
    LocalServer downloads([](const LocalServer::Received&) { return LocalServer::Reply{200, "file"}; });
    {
        auto session = lazySession();
        auto request = session->download(downloads.url("/file"));
        EXPECT_EQ(demandOnce(publishURL(request), request, downloads, combine::Demand::unlimited()), 1u);
    }
    LocalServer streams([](const LocalServer::Received&) { return LocalServer::Reply{200, "", {}, {"a", "b", "c"}}; });
    {
        auto session = lazySession();
        auto request = session->streamRequest(streams.url("/stream"));
        // Every event arrives although one was asked for: at least one chunk, then the end.
        EXPECT_GE(demandOnce(publishData(request), request, streams, combine::Demand::max(1)), 2u);
    }
}

TEST(Publishers, AFailedResponseIsAValueUntilValueTurnsItIntoAFailure) {
    LocalServer server([](const LocalServer::Received&) { return LocalServer::Reply{200, "not json"}; });
    auto session = Session::create();
    auto publisher = publishDecodable<platform::Value>(session->request(server.url("/json")));

    std::vector<DataResponse<platform::Value, HWError>> responses;
    bool finished = false;
    auto whole = publisher.sink([&](const auto& c) { finished = c.isFinished(); },
                                [&](const auto& response) { responses.push_back(response); });
    ASSERT_TRUE(waitUntil([&] { return finished; }));
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_TRUE(responses[0].result.isFailure());

    std::optional<HWError> failure;
    int values = 0;
    auto session2 = Session::create();
    auto valued = publishDecodable<platform::Value>(session2->request(server.url("/json")))
                      .value()
                      .sink([&](const combine::Completion<HWError>& c) { failure = c.error; },
                            [&](const platform::Value&) { ++values; });
    ASSERT_TRUE(waitUntil([&] { return failure.has_value(); }));
    EXPECT_TRUE(failure->isResponseSerializationError());
    EXPECT_EQ(values, 0);
}

TEST(Publishers, CancellingBeforeTheFirstDemandCancelsTheRequestWithoutStartingIt) {
    LocalServer server;
    auto session = lazySession();
    auto request = session->request(server.url("/never"));
    auto subscriber = std::make_shared<Manual<DataResponse<platform::Data, HWError>>>();
    publishData(request).receive(subscriber);
    subscriber->subscription->cancel();
    subscriber->subscription->request(combine::Demand::unlimited());
    EXPECT_TRUE(request->isCancelled());
    ASSERT_TRUE(server_support::waitForFinish(request));
    EXPECT_TRUE(subscriber->values.empty());
    EXPECT_EQ(server.requestCount(), 0);
}

TEST(Publishers, StreamEventsEndWithTheCompletionAndValueGivesTheChunks) {
    LocalServer server([](const LocalServer::Received&) { return LocalServer::Reply{200, "", {}, {"one|", "two|"}}; });
    auto session = Session::create();
    std::vector<std::string> kinds;
    bool finished = false;
    auto events = publishString(session->streamRequest(server.url("/s")))
                      .sink([&](const auto&) { finished = true; },
                            [&](const auto& e) { kinds.push_back(e.completion() ? "end" : "chunk"); });
    ASSERT_TRUE(waitUntil([&] { return finished; }));
    ASSERT_GE(kinds.size(), 2u);
    EXPECT_EQ(kinds.back(), "end");
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "end"), 1);

    std::string joined;
    std::optional<combine::Completion<HWError>> end;
    auto values = publishString(session->streamRequest(server.url("/s")))
                      .value()
                      .sink([&](const auto& c) { end = c; }, [&](const std::string& text) { joined += text; });
    ASSERT_TRUE(waitUntil([&] { return end.has_value(); }));
    EXPECT_TRUE(end->isFinished());
    EXPECT_EQ(joined, "one|two|");

    // Without a queue the chunks arrive on the main queue.
    std::string bytes;
    std::optional<combine::Completion<HWError>> bytesEnd;
    auto noQueue = publishData(session->streamRequest(server.url("/s")), nullptr)
                       .value()
                       .sink([&](const auto& c) { bytesEnd = c; },
                             [&](const platform::Data& chunk) { bytes += chunk.toString(); });
    ASSERT_TRUE(waitUntil([&] { return bytesEnd.has_value(); }));
    EXPECT_TRUE(bytesEnd->isFinished());
    EXPECT_EQ(bytes, "one|two|");
}

TEST(Publishers, TwoRacingDemandsStartOneRequest) {
    LocalServer server([](const LocalServer::Received&) { return LocalServer::Reply{200, "payload"}; });
    auto session = lazySession();
    for (int round = 0; round < 30; ++round) {
        auto request = session->request(server.url("/race"));
        auto subscriber = std::make_shared<Manual<DataResponse<std::string, HWError>>>();
        publishString(request).receive(subscriber);
        auto subscription = subscriber->subscription;
        std::thread other([subscription] { subscription->request(combine::Demand::max(1)); });
        subscription->request(combine::Demand::max(1));
        other.join();
        ASSERT_TRUE(waitUntil([&] { return subscriber->finished; })) << "round " << round;
        EXPECT_EQ(subscriber->values.size(), 1u) << "round " << round;
        EXPECT_EQ(server.requestCount(), round + 1) << "round " << round;
    }
}

TEST(Publishers, ACancelAfterTheDemandDeliversTheCancelledResponse) {
    LocalServer server;  // "/hold" keeps its answer back
    auto session = lazySession();
    auto request = session->request(server.url("/hold"));
    auto subscriber = std::make_shared<Manual<DataResponse<platform::Data, HWError>>>();
    publishData(request).receive(subscriber);
    auto subscription = subscriber->subscription;
    subscription->request(combine::Demand::max(1));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));
    subscription->cancel();
    EXPECT_TRUE(request->isCancelled());
    ASSERT_TRUE(waitUntil([&] { return !subscriber->values.empty(); }));
    ASSERT_EQ(subscriber->values.size(), 1u);
    ASSERT_TRUE(subscriber->values[0].result.isFailure());
    EXPECT_TRUE(subscriber->values[0].result.error().isExplicitlyCancelledError());
}
