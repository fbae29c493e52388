// Reachability flags from a route table set by the test, change reports on a queue, and
// the real loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>

#include "platform/net/Reachability.h"

using namespace platform;

namespace {

constexpr auto R = kSCNetworkReachabilityFlagsReachable;
constexpr auto Local = kSCNetworkReachabilityFlagsIsLocalAddress;
constexpr auto Direct = kSCNetworkReachabilityFlagsIsDirect;

NetworkRoute route(const std::string& cidr, const std::string& interface, bool gateway, bool up = true) {
    NetworkRoute r;
    auto slash = cidr.find('/');
    std::string address = cidr.substr(0, slash);
    r.family = address.find(':') == std::string::npos ? AF_INET : AF_INET6;
    inet_pton(r.family, address.c_str(), r.destination.data());
    r.prefixLength = std::stoi(cidr.substr(slash + 1));
    r.interface = interface;
    r.hasGateway = gateway;
    r.interfaceUp = up;
    r.loopback = interface == "lo";
    return r;
}

SCNetworkReachabilityRef v6Wildcard() {
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    return SCNetworkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&any));
}

class ReachabilityTest : public ::testing::Test {
protected:
    void TearDown() override { NetworkRoutes::setSource(nullptr); }
    void useRoutes(bool defaultUp) {
        NetworkRoutes::setSource([defaultUp] {
            return std::vector<NetworkRoute>{route("0.0.0.0/0", "eth0", true, defaultUp),
                                             route("10.0.0.0/8", "eth1", false), route("127.0.0.0/8", "lo", false),
                                             route("fd00::/64", "eth1", false)};
        });
    }
};

TEST_F(ReachabilityTest, FlagsFollowTheRouteTable) {
    struct Case {
        std::string target;
        bool defaultUp;
        SCNetworkReachabilityFlags expected;
    };
    for (auto& c : std::vector<Case>{
             {"0.0.0.0", true, R},
             {"0.0.0.0", false, 0},
             {"8.8.8.8", true, R},
             {"8.8.8.8", false, 0},
             {"10.1.2.3", false, R | Direct},
             {"127.0.0.1", false, R | Local | Direct},
             {"localhost", false, R | Local | Direct},
             {"fd00::5", false, R | Direct},
             {"2001:db8::1", true, 0},
             {"updates.example.com", true, R},
             {"updates.example.com", false, 0},
             {"::", true, R},  // the internet over either family
         }) {
        SCOPED_TRACE(c.target + (c.defaultUp ? " up" : " down"));
        useRoutes(c.defaultUp);
        auto target = c.target == "::" ? v6Wildcard() : SCNetworkReachabilityCreateWithName(c.target);
        ASSERT_TRUE(target);
        SCNetworkReachabilityFlags flags = 12345;
        ASSERT_TRUE(SCNetworkReachabilityGetFlags(target, &flags));
        EXPECT_EQ(flags, c.expected) << SCNetworkReachability::describe(flags);
        EXPECT_FALSE(flags & kSCNetworkReachabilityFlagsIsWWAN);
    }
    EXPECT_EQ(SCNetworkReachability::describe(R), "-R -------");
    EXPECT_EQ(SCNetworkReachability::describe(R | Local | Direct), "-R -----ld");
}

TEST_F(ReachabilityTest, ChangesAreReportedOnceEachOnTheQueue) {
    useRoutes(true);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    auto target = SCNetworkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&any));
    auto queue = DispatchQueue::create("reachability.test");
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<SCNetworkReachabilityFlags> seen;
    ASSERT_TRUE(
        SCNetworkReachabilitySetCallback(target, [&](const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags f) {
            EXPECT_TRUE(DispatchQueue::isCurrent(queue));
            std::lock_guard lock(mutex);
            seen.push_back(f);
            changed.notify_all();
        }));
    ASSERT_TRUE(SCNetworkReachabilitySetDispatchQueue(target, queue));
    useRoutes(false);
    useRoutes(false);  // the same again: no report
    NetworkRoutes::changed();
    useRoutes(true);
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return seen.size() >= 2; }));
    EXPECT_EQ(seen, (std::vector<SCNetworkReachabilityFlags>{0, R}));
    lock.unlock();
    SCNetworkReachabilitySetCallback(target, nullptr);
    useRoutes(false);
    queue->sync([] {});
    lock.lock();
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(ReachabilityTest, TheRealLoopbackIsLocal) {
    auto target = SCNetworkReachabilityCreateWithName("127.0.0.1");
    SCNetworkReachabilityFlags flags = 0;
    ASSERT_TRUE(SCNetworkReachabilityGetFlags(target, &flags));
    EXPECT_EQ(flags, R | Local | Direct);
}

}  // namespace
