// Reachability: the flags-to-status table, the flags' text, and a listener fed by the
// platform from a routing table the test controls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Hawser/NetworkReachabilityManager.h"

using namespace Hawser;
using Status = NetworkReachabilityManager::NetworkReachabilityStatus;

namespace {

constexpr platform::SCNetworkReachabilityFlags R = platform::kSCNetworkReachabilityFlagsReachable,
                                               C = platform::kSCNetworkReachabilityFlagsConnectionRequired,
                                               T = platform::kSCNetworkReachabilityFlagsConnectionOnTraffic,
                                               D = platform::kSCNetworkReachabilityFlagsConnectionOnDemand,
                                               I = platform::kSCNetworkReachabilityFlagsInterventionRequired;
const Status wifi = Status::reachable(Status::ConnectionType::ethernetOrWiFi);

// Routes the platform reads instead of the system's table, for as long as it lives.
class FakeRoutes {
public:
    FakeRoutes() {
        platform::NetworkRoutes::setSource([this] {
            std::lock_guard lock(mutex_);
            return routes_;
        });
    }
    ~FakeRoutes() { platform::NetworkRoutes::setSource(nullptr); }
    void set(bool connected) {
        {
            std::lock_guard lock(mutex_);
            routes_.clear();
            if (connected) {
                platform::NetworkRoute route;
                route.hasGateway = true;
                route.interface = "eth0";
                routes_.push_back(route);  // an IPv4 default route through a gateway
            }
        }
        platform::NetworkRoutes::changed();
    }

private:
    std::mutex mutex_;
    std::vector<platform::NetworkRoute> routes_;
};

}  // namespace

TEST(NetworkReachabilityManager, StatusFromFlags) {
    struct Case {
        platform::SCNetworkReachabilityFlags flags;
        Status expected;
    };
    const std::vector<Case> cases{
        {0, Status::notReachable()},
        {C | T, Status::notReachable()},
        {R, wifi},
        {R | T | I, wifi},  // intervention matters only when a connection is required
        {R | C, Status::notReachable()},
        {R | C | T, wifi},
        {R | C | D, wifi},
        {R | C | D | I, Status::notReachable()},
        {R | C | T | I, Status::notReachable()},
        {R | platform::kSCNetworkReachabilityFlagsIsWWAN, wifi},  // never cellular here
    };
    for (const auto& c : cases) EXPECT_EQ(Status(c.flags), c.expected) << c.flags;
    EXPECT_NE(Status::unknown(), Status::notReachable());
    EXPECT_NE(wifi, Status::reachable(Status::ConnectionType::cellular));

    EXPECT_EQ(NetworkReachabilityManager::flagsDescription(R), "-R --------");
    EXPECT_EQ(NetworkReachabilityManager::flagsDescription(R | C | T | platform::kSCNetworkReachabilityFlagsIsDirect),
              "-R c--C--da");
    EXPECT_EQ(NetworkReachabilityManager::description({}), "nil");
}

TEST(NetworkReachabilityManager, ListenerHearsEachChangeOnce) {
    FakeRoutes routes;
    routes.set(true);
    auto manager = NetworkReachabilityManager::create();
    ASSERT_TRUE(manager);
    EXPECT_TRUE(manager->isReachableOnEthernetOrWiFi());
    EXPECT_FALSE(manager->isReachableOnCellular());
    EXPECT_EQ(NetworkReachabilityManager::description(manager), "-R --------");

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> heard;
    auto waitFor = [&](std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return heard.size() >= count; });
    };
    auto listenerQueue = platform::DispatchQueue::create("listener");
    ASSERT_TRUE(manager->startListening(listenerQueue, [&](const Status& status) {
        std::lock_guard lock(mutex);
        heard.push_back(status.description());
        changed.notify_all();
    }));
    ASSERT_TRUE(waitFor(1));
    routes.set(false);
    ASSERT_TRUE(waitFor(2));
    EXPECT_FALSE(manager->isReachable());
    // Two reports that map to the same status reach the listener once.
    manager->reachabilityQueue->sync([&] {
        manager->notifyListener(0);
        manager->notifyListener(C);
    });
    routes.set(true);
    ASSERT_TRUE(waitFor(3));
    manager->stopListening();
    routes.set(false);
    // Whatever the change set off has reached the listener's queue and run there.
    manager->reachabilityQueue->sync([] {});
    listenerQueue->sync([] {});
    std::lock_guard lock(mutex);
    EXPECT_EQ(heard,
              (std::vector<std::string>{"reachable(ethernetOrWiFi)", "notReachable", "reachable(ethernetOrWiFi)"}));
}

TEST(NetworkReachabilityManager, AManagerThatIsGoneHearsNothing) {
    FakeRoutes routes;
    routes.set(true);
    auto queue = platform::DispatchQueue::create("l");
    std::atomic<int> calls{0};
    platform::DispatchQueuePtr reachabilityQueue;
    {
        auto manager = NetworkReachabilityManager::create("example.invalid");
        ASSERT_TRUE(manager);
        reachabilityQueue = manager->reachabilityQueue;
        manager->startListening(queue, [&](const Status&) { ++calls; });
        manager->reachabilityQueue->sync([] {});
        queue->sync([] {});
        EXPECT_EQ(calls, 1);
    }
    routes.set(false);  // the platform's callback finds no manager
    reachabilityQueue->sync([] {});
    queue->sync([] {});
    EXPECT_EQ(calls, 1);
}
