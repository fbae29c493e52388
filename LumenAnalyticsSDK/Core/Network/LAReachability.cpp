// Reachability of the wildcard address turned into the client's network status.
#include "LumenAnalyticsSDK/Core/Network/LAReachability.h"

#include <cstring>
#include <netinet/in.h>

#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

using namespace platform;

const LAReachabilityPtr& LAReachability::sharedInstance() {
    static const platform::NoDestructor<LAReachabilityPtr> instance(reachabilityInstance());
    return *instance;
}

LAReachabilityPtr LAReachability::reachabilityInstance() {
    sockaddr_in6 wildcard;
    std::memset(&wildcard, 0, sizeof wildcard);
    wildcard.sin6_family = AF_INET6;
    return std::make_shared<LAReachability>(
        SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(&wildcard)));
}

LAReachability::LAReachability(SCNetworkReachabilityRef target) : networkReachability_(std::move(target)) {}

LAReachability::~LAReachability() { stopMonitoring(); }

LANetworkReachabilityStatus LAReachability::statusForFlags(SCNetworkReachabilityFlags flags) {
    if (!(flags & kSCNetworkReachabilityFlagsReachable)) return LANetworkReachabilityStatusNotReachable;
    if (!(flags & kSCNetworkReachabilityFlagsConnectionRequired)) return LANetworkReachabilityStatusReachableViaWiFi;
    // A connection that comes up by itself (on traffic or on demand) counts, unless the
    // user has to step in.
    bool automatic =
        flags & (kSCNetworkReachabilityFlagsConnectionOnTraffic | kSCNetworkReachabilityFlagsConnectionOnDemand);
    if (automatic && !(flags & kSCNetworkReachabilityFlagsInterventionRequired))
        return LANetworkReachabilityStatusReachableViaWiFi;
    return LANetworkReachabilityStatusNotReachable;
}

void LAReachability::startMonitoring() {
    stopMonitoring();
    if (!networkReachability_) return;
    std::weak_ptr<LAReachability> weakSelf = weak_from_this();
    auto setStatus = [weakSelf](LANetworkReachabilityStatus status) {
        if (auto self = weakSelf.lock()) self->setReachabilityStatus(status);
    };
    SCNetworkReachabilitySetCallback(networkReachability_,
                                     [setStatus](const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags flags) {
                                         setStatus(statusForFlags(flags));
                                     });
    SCNetworkReachabilitySetDispatchQueue(networkReachability_, DispatchQueue::main());
    DispatchQueue::global(DispatchQoS::userInteractive)->async([target = networkReachability_, setStatus] {
        SCNetworkReachabilityFlags flags = 0;
        if (SCNetworkReachabilityGetFlags(target, &flags)) setStatus(statusForFlags(flags));
    });
}

void LAReachability::stopMonitoring() {
    if (!networkReachability_) return;
    SCNetworkReachabilitySetCallback(networkReachability_, {});
    SCNetworkReachabilitySetDispatchQueue(networkReachability_, nullptr);
}

}  // namespace LumenAnalyticsSDK
