// Watches whether a host, or the network in general, can be reached, and tells one
// listener whenever the status changes. Nothing in the engine consults it.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/Reachability.h"

namespace Hawser {

class NetworkReachabilityManager : public std::enable_shared_from_this<NetworkReachabilityManager> {
public:
    class NetworkReachabilityStatus {
    public:
        enum class Kind { unknown, notReachable, reachable };
        enum class ConnectionType { ethernetOrWiFi, cellular };

        static NetworkReachabilityStatus unknown() { return {Kind::unknown, ConnectionType::ethernetOrWiFi}; }
        static NetworkReachabilityStatus notReachable() { return {Kind::notReachable, ConnectionType::ethernetOrWiFi}; }
        static NetworkReachabilityStatus reachable(ConnectionType type) { return {Kind::reachable, type}; }
        // From the platform's flags; no flag selects cellular on this platform.
        explicit NetworkReachabilityStatus(platform::SCNetworkReachabilityFlags flags);

        Kind kind() const { return kind_; }
        // Meaningful only for reachable.
        ConnectionType connectionType() const { return type_; }
        std::string description() const;
        friend bool operator==(const NetworkReachabilityStatus& a, const NetworkReachabilityStatus& b) {
            return a.kind_ == b.kind_ && (a.kind_ != Kind::reachable || a.type_ == b.type_);
        }

    private:
        NetworkReachabilityStatus(Kind kind, ConnectionType type) : kind_(kind), type_(type) {}
        Kind kind_;
        ConnectionType type_;
    };
    using Listener = std::function<void(const NetworkReachabilityStatus&)>;

    struct MutableState {
        Listener listener;
        platform::DispatchQueuePtr listenerQueue;
        std::optional<NetworkReachabilityStatus> previousStatus;
    };

    // The general-network manager, made once on first use; null when that failed.
    static const std::shared_ptr<NetworkReachabilityManager>& default_();
    // Null when the platform gives no target.
    static std::shared_ptr<NetworkReachabilityManager> create(const std::string& host);
    // Watches the IPv4 address 0.0.0.0: reachability of the network in general.
    static std::shared_ptr<NetworkReachabilityManager> create();

    virtual ~NetworkReachabilityManager();
    NetworkReachabilityManager(const NetworkReachabilityManager&) = delete;
    NetworkReachabilityManager& operator=(const NetworkReachabilityManager&) = delete;

    const platform::DispatchQueuePtr reachabilityQueue;
    const platform::SCNetworkReachabilityRef reachability;

    virtual bool isReachable() const { return isReachableOnCellular() || isReachableOnEthernetOrWiFi(); }
    virtual bool isReachableOnCellular() const {
        return status() == NetworkReachabilityStatus::reachable(NetworkReachabilityStatus::ConnectionType::cellular);
    }
    virtual bool isReachableOnEthernetOrWiFi() const {
        return status() ==
               NetworkReachabilityStatus::reachable(NetworkReachabilityStatus::ConnectionType::ethernetOrWiFi);
    }
    // None when the platform cannot read them.
    virtual std::optional<platform::SCNetworkReachabilityFlags> flags() const;
    // unknown when the flags cannot be read.
    virtual NetworkReachabilityStatus status() const;

    // Stops first; the listener then learns the current status and every change, on
    // `queue`. True only when the platform took both the callback and the queue.
    virtual bool startListening(platform::DispatchQueuePtr onQueue, Listener onUpdatePerforming);
    virtual bool startListening(Listener onUpdatePerforming) {
        return startListening(platform::DispatchQueue::main(), std::move(onUpdatePerforming));
    }
    virtual void stopListening();
    // Works out the status of `flags` and tells the listener when it changed.
    virtual void notifyListener(platform::SCNetworkReachabilityFlags flags);

    // 11 characters, a letter for each flag that is set: "-R -------" style with the
    // wide-area position always "-"; "nil" for a manager that is gone or unreadable.
    static std::string flagsDescription(platform::SCNetworkReachabilityFlags flags);
    static std::string description(const std::weak_ptr<NetworkReachabilityManager>& manager);

protected:
    explicit NetworkReachabilityManager(platform::SCNetworkReachabilityRef reachability);
    platform::Protected<MutableState> mutableState;
};

using NetworkReachabilityManagerPtr = std::shared_ptr<NetworkReachabilityManager>;

}  // namespace Hawser
