// Reachability statuses from the platform's flags, and the listener's life cycle.
#include "Hawser/NetworkReachabilityManager.h"
#include "platform/base/NoDestructor.h"

#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace Hawser {

using Status = NetworkReachabilityManager::NetworkReachabilityStatus;

Status::NetworkReachabilityStatus(platform::SCNetworkReachabilityFlags flags)
    : kind_(Kind::notReachable), type_(ConnectionType::ethernetOrWiFi) {
    const bool reachable = flags & platform::kSCNetworkReachabilityFlagsReachable;
    const bool connectionRequired = flags & platform::kSCNetworkReachabilityFlagsConnectionRequired;
    const bool automatic = (flags & platform::kSCNetworkReachabilityFlagsConnectionOnTraffic) ||
                           (flags & platform::kSCNetworkReachabilityFlagsConnectionOnDemand);
    const bool intervention = flags & platform::kSCNetworkReachabilityFlagsInterventionRequired;
    if (reachable && (!connectionRequired || (automatic && !intervention))) kind_ = Kind::reachable;
}

std::string Status::description() const {
    switch (kind_) {
        case Kind::unknown: return "unknown";
        case Kind::notReachable: return "notReachable";
        case Kind::reachable:
            return type_ == ConnectionType::cellular ? "reachable(cellular)" : "reachable(ethernetOrWiFi)";
    }
    return "unknown";
}

const std::shared_ptr<NetworkReachabilityManager>& NetworkReachabilityManager::default_() {
    static const platform::NoDestructor<std::shared_ptr<NetworkReachabilityManager>> manager(create());
    return *manager;
}

std::shared_ptr<NetworkReachabilityManager> NetworkReachabilityManager::create(const std::string& host) {
    auto target = platform::SCNetworkReachabilityCreateWithName(host);
    if (!target) return nullptr;
    return std::shared_ptr<NetworkReachabilityManager>(new NetworkReachabilityManager(std::move(target)));
}

std::shared_ptr<NetworkReachabilityManager> NetworkReachabilityManager::create() {
    sockaddr_in zero;
    std::memset(&zero, 0, sizeof zero);
    zero.sin_family = AF_INET;  // every other byte zero: 0.0.0.0, port 0
    auto target = platform::SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(&zero));
    if (!target) return nullptr;
    return std::shared_ptr<NetworkReachabilityManager>(new NetworkReachabilityManager(std::move(target)));
}

NetworkReachabilityManager::NetworkReachabilityManager(platform::SCNetworkReachabilityRef reachability)
    : reachabilityQueue(platform::DispatchQueue::create("org.hawser.reachabilityQueue")),
      reachability(std::move(reachability)) {}

NetworkReachabilityManager::~NetworkReachabilityManager() {
    // Not the virtual: a subclass is already gone here.
    platform::SCNetworkReachabilitySetCallback(reachability, nullptr);
    platform::SCNetworkReachabilitySetDispatchQueue(reachability, nullptr);
}

std::optional<platform::SCNetworkReachabilityFlags> NetworkReachabilityManager::flags() const {
    platform::SCNetworkReachabilityFlags flags = 0;
    if (!platform::SCNetworkReachabilityGetFlags(reachability, &flags)) return std::nullopt;
    return flags;
}

Status NetworkReachabilityManager::status() const {
    auto current = flags();
    return current ? Status(*current) : Status::unknown();
}

bool NetworkReachabilityManager::startListening(platform::DispatchQueuePtr onQueue, Listener onUpdatePerforming) {
    stopListening();
    mutableState.write([&](MutableState& s) {
        s.listenerQueue = std::move(onQueue);
        s.listener = std::move(onUpdatePerforming);
    });
    // The platform holds only a weak reference: it never keeps the manager alive.
    std::weak_ptr<NetworkReachabilityManager> weak = weak_from_this();
    const bool queueSet = platform::SCNetworkReachabilitySetDispatchQueue(reachability, reachabilityQueue);
    const bool callbackSet = platform::SCNetworkReachabilitySetCallback(
        reachability, [weak](const platform::SCNetworkReachabilityRef&, platform::SCNetworkReachabilityFlags flags) {
            if (auto manager = weak.lock()) manager->notifyListener(flags);
        });
    if (auto current = flags()) {
        reachabilityQueue->async([self = shared_from_this(), current] { self->notifyListener(*current); });
    }
    return callbackSet && queueSet;
}

void NetworkReachabilityManager::stopListening() {
    platform::SCNetworkReachabilitySetCallback(reachability, nullptr);
    platform::SCNetworkReachabilitySetDispatchQueue(reachability, nullptr);
    mutableState.write([](MutableState& s) {
        s.listener = nullptr;
        s.listenerQueue = nullptr;
        s.previousStatus.reset();
    });
}

void NetworkReachabilityManager::notifyListener(platform::SCNetworkReachabilityFlags flags) {
    const Status newStatus(flags);
    mutableState.write([&](MutableState& s) {
        if (s.previousStatus == newStatus) return;
        s.previousStatus = newStatus;
        // Called outside the lock, on the listener's queue.
        if (s.listenerQueue)
            s.listenerQueue->async([listener = s.listener, newStatus] {
                if (listener) listener(newStatus);
            });
    });
}

std::string NetworkReachabilityManager::flagsDescription(platform::SCNetworkReachabilityFlags flags) {
    auto mark = [flags](platform::SCNetworkReachabilityFlags bit, char letter) { return (flags & bit) ? letter : '-'; };
    std::string text;
    text += '-';  // the wide-area flag is not examined here
    text += mark(platform::kSCNetworkReachabilityFlagsReachable, 'R');
    text += ' ';
    text += mark(platform::kSCNetworkReachabilityFlagsConnectionRequired, 'c');
    text += mark(platform::kSCNetworkReachabilityFlagsTransientConnection, 't');
    text += mark(platform::kSCNetworkReachabilityFlagsInterventionRequired, 'i');
    text += mark(platform::kSCNetworkReachabilityFlagsConnectionOnTraffic, 'C');
    text += mark(platform::kSCNetworkReachabilityFlagsConnectionOnDemand, 'D');
    text += mark(platform::kSCNetworkReachabilityFlagsIsLocalAddress, 'l');
    text += mark(platform::kSCNetworkReachabilityFlagsIsDirect, 'd');
    text += mark(platform::kSCNetworkReachabilityFlagsConnectionAutomatic, 'a');
    return text;
}

std::string NetworkReachabilityManager::description(const std::weak_ptr<NetworkReachabilityManager>& manager) {
    auto strong = manager.lock();
    if (!strong) return "nil";
    auto current = strong->flags();
    return current ? flagsDescription(*current) : "nil";
}

}  // namespace Hawser
