// Batch upload against a local collector: which replies deliver, drop or fail a batch,
// how failed batches are retried and resent, what every request carries, and that a
// flush completion runs exactly once whichever way its uploads end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "TallockSDK/NetworkManager.h"
#include "TallockSDK/RequestTimeoutPlugin.h"
#include "collector.h"
#include "platform/runloop/RunLoop.h"

using namespace TallockSDK;
using tallock_test::Collector;
using tallock_test::Reply;

namespace {

using Clock = std::chrono::steady_clock;

// Signs like the host's signer would: one header added in prepare. Records what it saw.
class MarkPlugin : public Berth::PluginType {
public:
    platform::URLRequest prepare(const platform::URLRequest& request, const Berth::TargetType&) override {
        std::lock_guard lock(mutex);
        times.push_back(Clock::now());
        timeoutsSeen.push_back(request.timeoutInterval());
        platform::URLRequest copy = request;
        copy.setValue("mark-" + std::to_string(times.size()), "X-Param-SIGN");
        return copy;
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return times.size();
    }
    std::mutex mutex;
    std::vector<Clock::time_point> times;
    std::vector<double> timeoutsSeen;
};

bool waitUntil(const std::function<bool()>& condition, double seconds = 10) {
    return platform::RunLoop::runUntil(condition, seconds);
}

class Upload : public ::testing::Test {
protected:
    void SetUp() override {
        config->ostrelURL = collector.url();
        config->path = "/api/v1/event/report/batch";
        config->retryTimeInterval = 0.2;
        config->logLevel = DebugLevel::warning;  // keep the network logger quiet
        config->requestPlugins = {plugin};
        config->getRequestHeader = [] { return Berth::HeaderFields{{"X-Param-PLAT", "4"}}; };
        manager = NetworkManager::create(config);
    }

    static platform::Data batchOf(const std::string& name) {
        return encodeBatch(std::vector<Event>{Event(name, TextMap{}, EventError(0, "ok"))});
    }
    // Uploads one event; the returned counter counts completion calls.
    std::shared_ptr<std::atomic<int>> upload(const std::string& name, bool withCompletion = true) {
        auto calls = std::make_shared<std::atomic<int>>(0);
        std::function<void()> completion;
        if (withCompletion) completion = [calls] { ++*calls; };
        manager->upload({std::make_shared<Event>(name, TextMap{}, EventError(0, "ok"))}, completion);
        return calls;
    }
    void setURL(const std::string& url) {
        manager->requestQueue->sync([&] { config->ostrelURL = url; });
    }
    std::vector<std::string> receivedNames() {
        std::vector<std::string> out;
        for (const auto& r : collector.received())
            out.push_back(decodeBatch(platform::Data::fromString(r.body)).at(0).name);
        return out;
    }
    // Everything queued so far has run, and the completion ran exactly once.
    void expectOnce(const std::shared_ptr<std::atomic<int>>& calls) {
        manager->requestQueue->sync([] {});
        EXPECT_EQ(calls->load(), 1);
        EXPECT_EQ(manager->requestQueue->sync([&] { return manager->completeCount; }), 0);
    }

    Collector collector;
    std::shared_ptr<MarkPlugin> plugin = std::make_shared<MarkPlugin>();
    TallockConfigPtr config = TallockConfig::create();
    std::shared_ptr<NetworkManager> manager;
};

TEST_F(Upload, RepliesDeliverOrDropTheBatch) {
    struct Case {
        Reply reply;
        bool delivered;
    };
    const Case cases[] = {
        {{500, "server error"}, false},
        {{200, std::string("\xff\xfe not text")}, false},
        {{302, "moved"}, true},
        {{204, ""}, true},
        {{200, "ok"}, true},
    };
    const platform::Data old = batchOf("old"), garbage = platform::Data::fromString("[{\"no\":1}]");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.status);
        auto before = collector.received().size();
        manager->requestQueue->sync([&] { manager->failToUploadLogsList = {old, garbage}; });
        collector.script({c.reply});
        auto calls = upload("new");
        ASSERT_TRUE(waitUntil([&] { return calls->load() > 0; }));
        // A delivered batch brings the failed set along, and the flush waits for it; the
        // undecodable batch stays, and ends its send without a request.
        std::size_t expected = c.delivered ? 2 : 1;
        EXPECT_EQ(collector.received().size() - before, expected);
        EXPECT_EQ(receivedNames().at(before), "new");
        if (c.delivered) {
            EXPECT_EQ(receivedNames().at(before + 1), "old");
        }
        auto left = manager->failedBatches();
        EXPECT_EQ(left.size(), c.delivered ? 1u : 2u);
        EXPECT_TRUE(std::find(left.begin(), left.end(), garbage) != left.end());
        expectOnce(calls);
    }
}

TEST_F(Upload, EveryRequestCarriesTheHeadersAndPluginsInOrder) {
    config->logLevel = DebugLevel::warning;
    testing::internal::CaptureStdout();
    manager->requestQueue->sync([&] { manager->failToUploadLogsList = {batchOf("a"), batchOf("b")}; });
    auto calls = upload("c");
    ASSERT_TRUE(waitUntil([&] { return calls->load() > 0; }));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "[MarkPlugin]\n");  // the one line, when the provider is built

    auto received = collector.received();
    ASSERT_EQ(received.size(), 3u);
    std::set<std::string> marks;
    for (const auto& r : received) {
        EXPECT_EQ(r.path, "/api/v1/event/report/batch");
        EXPECT_EQ(r.header("X-Param-PLAT"), "4");
        EXPECT_EQ(r.header("Content-Type"), "application/json");
        marks.insert(r.header("X-Param-SIGN"));
    }
    EXPECT_EQ(marks, (std::set<std::string>{"mark-1", "mark-2", "mark-3"}));
    // The host's plugins come before the client's timeout plugin.
    for (double seen : plugin->timeoutsSeen) EXPECT_NE(seen, 15.0);
}

TEST_F(Upload, TransportFailureIsRetriedAfterTheInterval) {
    config->retryTimeInterval = 0.5;  // room to bring the collector up before the retry
    setURL(tallock_test::deadURL());
    auto start = Clock::now();
    auto calls = upload("late");
    ASSERT_TRUE(waitUntil([&] { return manager->failedBatches().size() == 1; }));
    setURL(collector.url());  // the collector comes up before the retry
    ASSERT_TRUE(waitUntil([&] { return calls->load() > 0; }));
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - start).count(), config->retryTimeInterval);
    EXPECT_EQ(receivedNames(), std::vector<std::string>{"late"});
    EXPECT_TRUE(manager->failedBatches().empty());
    expectOnce(calls);
}

TEST_F(Upload, ExhaustedBatchWaitsForTheNextDelivery) {
    config->retryTimeInterval = 0.05;
    setURL(tallock_test::deadURL());
    auto calls = upload("kept");
    ASSERT_TRUE(waitUntil([&] { return calls->load() > 0; }));  // after the second failure
    EXPECT_EQ(plugin->count(), 2u);                             // first try and one retry
    EXPECT_GE(std::chrono::duration<double>(plugin->times[1] - plugin->times[0]).count(), 0.05);
    EXPECT_EQ(manager->failedBatches(), std::vector<platform::Data>{batchOf("kept")});
    expectOnce(calls);

    setURL(collector.url());
    upload("next", false);
    ASSERT_TRUE(collector.waitFor(2));
    EXPECT_EQ(receivedNames(), (std::vector<std::string>{"next", "kept"}));
    EXPECT_TRUE(waitUntil([&] { return manager->failedBatches().empty(); }));
}

TEST_F(Upload, RetryFindingItsBatchResentStillEndsItsFlush) {
    config->retryTimeInterval = 1.0;
    setURL(tallock_test::deadURL());
    auto first = upload("x");
    ASSERT_TRUE(waitUntil([&] { return manager->failedBatches().size() == 1; }));
    setURL(collector.url());
    auto second = upload("y");  // delivered: resends x before x's retry is due
    ASSERT_TRUE(waitUntil([&] { return second->load() > 0; }));
    EXPECT_EQ(receivedNames(), (std::vector<std::string>{"y", "x"}));
    EXPECT_EQ(first->load(), 0);
    // x's retry finds nothing to send and gives its flush back.
    ASSERT_TRUE(waitUntil([&] { return first->load() > 0; }));
    EXPECT_EQ(collector.received().size(), 2u);
    expectOnce(first);
    expectOnce(second);
}

TEST(JsonResponseDataFormatter, PrettyJSONElseTextElseEmpty) {
    EXPECT_EQ(NetworkManager::jsonResponseDataFormatter(platform::Data::fromString("{\"a\":1}")), "{\n  \"a\" : 1\n}");
    EXPECT_EQ(NetworkManager::jsonResponseDataFormatter(platform::Data::fromString("plain")), "plain");
    EXPECT_EQ(NetworkManager::jsonResponseDataFormatter(platform::Data::fromString("\xff")), "");
}

}  // namespace

namespace {

TEST(UploadProvider, NetworkLoggerOnlyBelowWarning) {
    for (int raw = 0; raw <= 3; ++raw) {
        SCOPED_TRACE(raw);
        auto config = TallockConfig::create();
        auto mark = std::make_shared<MarkPlugin>();
        config->requestPlugins = {mark};
        config->logLevel = *debugLevel(raw);
        testing::internal::CaptureStdout();
        auto plugins = NetworkManager::create(config)->makeProvider()->plugins();
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(plugins.size(), raw < 2 ? 3u : 2u);
        EXPECT_EQ(plugins[0], mark);
        EXPECT_EQ(plugins[1], RequestTimeoutPlugin::shared());
        if (raw < 2) {
            EXPECT_EQ(plugins[2], NetworkManager::loggerPlugin());
        }
    }
}

}  // namespace
