// The global session and the default configurations. Kept in a binary of its own so
// that the first use of the global session happens here.
#include <gtest/gtest.h>

#include <thread>

#include "Hawser/HW.h"
#include "Hawser/Session.h"

namespace {

using namespace Hawser;

TEST(SessionGlobalTest, HWAndTheDefaultSessionAreOneObjectMadeOnceUnderConcurrentFirstUse) {
    std::vector<Session*> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = i % 2 ? HW.get().get() : Session::default_().get(); });
    for (auto& t : threads) t.join();
    for (auto* s : seen) EXPECT_EQ(s, seen.front());
    EXPECT_EQ(&*HW, Session::default_().get());

    const Session& shared = *HW;
    EXPECT_TRUE(shared.startRequestsImmediately);
    EXPECT_EQ(shared.rootQueue->label(), "org.hawser.session.rootQueue");
    EXPECT_EQ(shared.requestQueue->label(), "org.hawser.session.rootQueue.requestQueue");
    EXPECT_EQ(shared.serializationQueue->label(), "org.hawser.session.rootQueue.serializationQueue");
    EXPECT_EQ(shared.session->delegateQueue()->name(), "org.hawser.session.rootQueue.sessionDelegate");
    EXPECT_EQ(shared.session->delegateQueue()->underlyingQueue(), shared.rootQueue);
    EXPECT_EQ(shared.session->delegateQueue()->maxConcurrentOperationCount(), 1);
}

TEST(SessionGlobalTest, DefaultConfigurationsCarryTheDefaultHeaders) {
    auto expected = HTTPHeaders::default_().dictionary();
    ASSERT_TRUE(expected.count("User-Agent"));
    for (const auto& configuration :
         {hw::URLSessionConfiguration::default_(), hw::URLSessionConfiguration::ephemeral()}) {
        ASSERT_TRUE(configuration.httpAdditionalHeaders);
        std::map<std::string, std::string> headers;
        for (const auto& [name, value] : *configuration.httpAdditionalHeaders) headers[name] = value.stringValue();
        EXPECT_EQ(headers, expected);
    }
    // The shared session is built on them.
    EXPECT_TRUE(HW->session->configuration().httpAdditionalHeaders);
}

TEST(SessionGlobalTest, QueuesGivenByTheCallerAreKeptAndTheMainQueueServesAsRootUnchanged) {
    auto own = platform::DispatchQueue::create("test.serialization");
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr,
                                   platform::DispatchQueue::main(), true, nullptr, own);
    EXPECT_EQ(session->rootQueue, platform::DispatchQueue::main());
    EXPECT_EQ(session->serializationQueue, own);
    EXPECT_EQ(session->requestQueue->label(), platform::DispatchQueue::main()->label() + ".requestQueue");
}

}  // namespace
