// Whether the internet is reachable, from the system's reachability of the wildcard
// address (a default route makes it reachable). Only Wi-Fi or nothing is reported here.
#pragma once
#include <atomic>
#include <memory>

#include "platform/net/Reachability.h"

namespace LumenAnalyticsSDK {

enum LANetworkReachabilityStatus : long {
    LANetworkReachabilityStatusNotReachable = 0,
    LANetworkReachabilityStatusReachableViaWiFi = 1,
    LANetworkReachabilityStatusReachableViaWWAN = 2,
};

class LAReachability;
using LAReachabilityPtr = std::shared_ptr<LAReachability>;

class LAReachability : public std::enable_shared_from_this<LAReachability> {
public:
    // The process's object, made on first use.
    static const LAReachabilityPtr& sharedInstance();
    // A new object watching the IPv6 wildcard address.
    static LAReachabilityPtr reachabilityInstance();
    // Watches `target`; none gives an object whose status stays not reachable.
    explicit LAReachability(platform::SCNetworkReachabilityRef target);
    ~LAReachability();
    LAReachability(const LAReachability&) = delete;
    LAReachability& operator=(const LAReachability&) = delete;

    static LANetworkReachabilityStatus statusForFlags(platform::SCNetworkReachabilityFlags flags);

    // Changes arrive on the main queue; the current state is read once on a global queue.
    void startMonitoring();
    void stopMonitoring();

    bool isReachable() const { return isReachableViaWWAN() || isReachableViaWiFi(); }
    bool isReachableViaWiFi() const { return reachabilityStatus() == LANetworkReachabilityStatusReachableViaWiFi; }
    bool isReachableViaWWAN() const { return reachabilityStatus() == LANetworkReachabilityStatusReachableViaWWAN; }

    const platform::SCNetworkReachabilityRef& networkReachability() const { return networkReachability_; }
    LANetworkReachabilityStatus reachabilityStatus() const { return reachabilityStatus_.load(); }
    void setReachabilityStatus(LANetworkReachabilityStatus status) { reachabilityStatus_.store(status); }

private:
    platform::SCNetworkReachabilityRef networkReachability_;
    // Written from the main queue and a global queue, read from the client's queue.
    std::atomic<LANetworkReachabilityStatus> reachabilityStatus_{LANetworkReachabilityStatusNotReachable};
};

}  // namespace LumenAnalyticsSDK
