// Values derived from the server URL, the upload cookie, and reachability from a route
// table a test sets (and once from the machine's real one).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "LumenAnalyticsSDK/Core/Network/LANetwork.h"
#include "LumenAnalyticsSDK/Core/Network/LAReachability.h"
#include "platform/dispatch/DispatchQueue.h"

namespace {

using namespace LumenAnalyticsSDK;
using namespace platform;

LANetwork networkFor(const std::string& serverURL, std::int64_t debugMode = 0) {
    auto options = std::make_shared<LAConfigOptions>(serverURL, std::nullopt);
    options->setDebugMode(debugMode);
    return LANetwork([options] { return options; });
}

TEST(LANetworkTest, ServerURLGivesHostProjectTokenAndTheDebugEndpoint) {
    auto network = networkFor("https://h.example/sa?project=p&token=t");
    EXPECT_EQ(network.host(), "h.example");
    EXPECT_EQ(network.project(), "p");
    EXPECT_EQ(network.token(), "t");
    EXPECT_TRUE(network.isValidServerURL());
    EXPECT_EQ(network.serverURL()->path(), "/sa");
    EXPECT_EQ(networkFor("https://h.example/sa?project=p", 1).serverURL()->path(), "/debug");
    EXPECT_TRUE(network.isSameProjectWithURLString("http://h.example/other?project=p"));
    EXPECT_FALSE(network.isSameProjectWithURLString("https://h.example/sa?project=q"));
    EXPECT_FALSE(network.isSameProjectWithURLString(""));

    auto bare = networkFor("https://h.example/sa");
    EXPECT_EQ(bare.project(), "default");
    EXPECT_EQ(bare.token(), "");
    EXPECT_TRUE(bare.isSameProjectWithURLString("https://h.example/page"));
    EXPECT_FALSE(bare.isSameProjectWithURLString("https://elsewhere.example/page"));

    LANetwork unset(nullptr);
    EXPECT_FALSE(unset.isValidServerURL());
    EXPECT_EQ(unset.host(), "");
    EXPECT_EQ(unset.project(), "default");
    EXPECT_FALSE(unset.isSameProjectWithURLString("https://h.example/sa"));
}

TEST(LANetworkTest, CookieIsStoredEscapedAndReadBackDecoded) {
    auto network = networkFor("https://h.example/sa");
    network.setCookie("a b;c", true);
    EXPECT_EQ(network.cookieWithDecoded(false), "a%20b%3Bc");
    EXPECT_EQ(network.cookieWithDecoded(true), "a b;c");
    network.setCookie("x=1; y", false);
    EXPECT_EQ(network.cookieWithDecoded(false), "x=1; y");
}

TEST(LAReachabilityTest, FlagsBecomeAStatus) {
    struct Case {
        SCNetworkReachabilityFlags flags;
        LANetworkReachabilityStatus status;
    };
    const auto reachable = kSCNetworkReachabilityFlagsReachable,
               required = kSCNetworkReachabilityFlagsConnectionRequired;
    const Case cases[] = {
        {0, LANetworkReachabilityStatusNotReachable},
        {reachable, LANetworkReachabilityStatusReachableViaWiFi},
        {reachable | required, LANetworkReachabilityStatusNotReachable},
        {reachable | required | kSCNetworkReachabilityFlagsConnectionOnTraffic,
         LANetworkReachabilityStatusReachableViaWiFi},
        {reachable | required | kSCNetworkReachabilityFlagsConnectionOnDemand,
         LANetworkReachabilityStatusReachableViaWiFi},
        {reachable | required | kSCNetworkReachabilityFlagsConnectionOnTraffic |
             kSCNetworkReachabilityFlagsInterventionRequired,
         LANetworkReachabilityStatusNotReachable},
        {required | kSCNetworkReachabilityFlagsConnectionOnTraffic, LANetworkReachabilityStatusNotReachable},
    };
    for (const auto& c : cases) EXPECT_EQ(LAReachability::statusForFlags(c.flags), c.status) << c.flags;
}

// Runs the main queue (where changes arrive) until `done` holds or 10 s pass.
template <class F>
bool runMainQueueUntil(F done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (!DispatchQueue::drainMainQueue()) std::this_thread::yield();
    }
    return true;
}

NetworkRoute defaultRoute() {
    NetworkRoute route;
    route.hasGateway = true;
    route.interface = "eth9";
    return route;
}

TEST(LAReachabilityTest, FollowsTheRouteTable) {
    std::mutex mutex;
    std::vector<NetworkRoute> routes{defaultRoute()};
    NetworkRoutes::setSource([&] {
        std::lock_guard lock(mutex);
        return routes;
    });
    auto reachability = LAReachability::reachabilityInstance();
    ASSERT_TRUE(reachability->networkReachability());
    EXPECT_FALSE(reachability->isReachable());
    reachability->startMonitoring();
    EXPECT_TRUE(runMainQueueUntil([&] { return reachability->isReachableViaWiFi(); }));
    EXPECT_FALSE(reachability->isReachableViaWWAN());

    {
        std::lock_guard lock(mutex);
        routes.clear();
    }
    NetworkRoutes::changed();
    EXPECT_TRUE(runMainQueueUntil([&] { return !reachability->isReachable(); }));
    reachability->stopMonitoring();
    NetworkRoutes::setSource(nullptr);

    LAReachability withoutTarget(nullptr);
    withoutTarget.startMonitoring();
    EXPECT_EQ(withoutTarget.reachabilityStatus(), LANetworkReachabilityStatusNotReachable);
}

TEST(LAReachabilityTest, ReadsTheMachinesDefaultRoute) {
    auto system = NetworkRoutes::systemRoutes();
    bool hasDefaultRoute = std::any_of(system.begin(), system.end(), [](const NetworkRoute& r) {
        return r.prefixLength == 0 && r.interfaceUp && !r.loopback;
    });
    // Without a default route the answer would be the starting "not reachable": nothing to tell.
    if (!hasDefaultRoute) GTEST_SKIP() << "this machine has no default route, so reading it cannot be checked";
    auto reachability = LAReachability::reachabilityInstance();
    reachability->startMonitoring();
    EXPECT_TRUE(runMainQueueUntil([&] { return reachability->isReachableViaWiFi(); }));
    reachability->stopMonitoring();
}

}  // namespace
