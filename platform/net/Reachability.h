// Network reachability of a host name or an address, with the platform's flags, worked
// out from the routing table and kept up to date by the kernel's link and route events
// (netlink). A cellular interface is never reported.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/socket.h>

#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"

namespace platform {

using SCNetworkReachabilityFlags = std::uint32_t;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsTransientConnection = 1u << 0;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsReachable = 1u << 1;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionRequired = 1u << 2;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsInterventionRequired = 1u << 4;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnDemand = 1u << 5;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsLocalAddress = 1u << 16;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsDirect = 1u << 17;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsWWAN = 1u << 18;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionAutomatic =
    kSCNetworkReachabilityFlagsConnectionOnTraffic;

// One route of the system's table.
struct NetworkRoute {
    int family = AF_INET;                        // AF_INET or AF_INET6
    std::array<std::uint8_t, 16> destination{};  // network byte order; 4 bytes used for IPv4
    int prefixLength = 0;                        // 0: a default route
    bool hasGateway = false;
    std::string interface;
    bool interfaceUp = true;
    bool loopback = false;
};

// Where routes come from: the system's table, or a table a test sets.
class NetworkRoutes {
public:
    static std::vector<NetworkRoute> current();
    static std::vector<NetworkRoute> systemRoutes();
    // Replaces the system's table (none restores it) and tells every listening target.
    static void setSource(std::function<std::vector<NetworkRoute>()> source);
    // Makes every listening target look at the routes again (the kernel's events do this).
    static void changed();
};

class SCNetworkReachability;
using SCNetworkReachabilityRef = std::shared_ptr<SCNetworkReachability>;
using SCNetworkReachabilityCallBack = std::function<void(const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags)>;

class SCNetworkReachability : public std::enable_shared_from_this<SCNetworkReachability> {
public:
    ~SCNetworkReachability();
    // The flags for the routes given (the current ones when called without).
    SCNetworkReachabilityFlags flags(const std::vector<NetworkRoute>& routes) const;
    // "-R -------" style text of flags: one letter per flag that is set.
    static std::string describe(SCNetworkReachabilityFlags flags);

private:
    friend SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const std::string& name);
    friend SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address);
    friend bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef&, SCNetworkReachabilityCallBack);
    friend bool SCNetworkReachabilitySetDispatchQueue(const SCNetworkReachabilityRef&, DispatchQueuePtr);
    friend class ReachabilityMonitor;
    friend bool updateListening(const SCNetworkReachabilityRef&, bool);
    SCNetworkReachability() = default;
    void reevaluate(const std::vector<NetworkRoute>& routes);

    std::optional<NetworkRoute> address_;  // the target as a host route; none: the wildcard
    int family_ = AF_INET;
    bool wildcard_ = false;
    bool anyFamily_ = false;  // a host name: either family will do
    struct Listening {
        SCNetworkReachabilityCallBack callback;
        DispatchQueuePtr queue;
        std::optional<SCNetworkReachabilityFlags> lastFlags;
    };
    Protected<Listening> listening_;
};

// A target for a host name (IP literals are taken as addresses; "localhost" is the
// loopback). Names are not looked up: a name is reachable when a route leaves the host.
SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const std::string& name);
// A target for an IPv4 or IPv6 socket address; the zero address watches the network in
// general. None for another family.
SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address);
bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags* flags);
// Changes are reported through `callback` on the queue set below; an empty callback or
// queue stops that.
bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityCallBack callback);
bool SCNetworkReachabilitySetDispatchQueue(const SCNetworkReachabilityRef& target, DispatchQueuePtr queue);

}  // namespace platform
