// Reachability from the routing table; a netlink listener re-evaluates listening targets
// when links, addresses or routes change.
#include "platform/net/Reachability.h"

#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace platform {

namespace {

Protected<std::function<std::vector<NetworkRoute>()>>& source() {
    static NoDestructor<Protected<std::function<std::vector<NetworkRoute>()>>> s;
    return *s;
}

std::array<std::uint8_t, 16> hexBytes(const std::string& hex, std::size_t count, bool reversed) {
    std::array<std::uint8_t, 16> out{};
    for (std::size_t i = 0; i < count && 2 * i + 1 < hex.size(); ++i) {
        auto byte = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
        out[reversed ? count - 1 - i : i] = byte;
    }
    return out;
}

bool prefixMatches(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b, int bits) {
    for (int i = 0; i < bits; ++i) {
        int byte = i / 8, bit = 7 - i % 8;
        if (((a[byte] >> bit) & 1) != ((b[byte] >> bit) & 1)) return false;
    }
    return true;
}

}  // namespace

// ---- Routes -------------------------------------------------------------------------

std::vector<NetworkRoute> NetworkRoutes::systemRoutes() {
    std::map<std::string, std::pair<bool, bool>> interfaces;  // up, loopback
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i; i = i->ifa_next) {
            bool up = (i->ifa_flags & IFF_UP) && (i->ifa_flags & IFF_RUNNING);
            interfaces[i->ifa_name] = {up, (i->ifa_flags & IFF_LOOPBACK) != 0};
        }
        freeifaddrs(list);
    }
    auto describe = [&](NetworkRoute& r) {
        auto it = interfaces.find(r.interface);
        r.interfaceUp = it != interfaces.end() && it->second.first;
        r.loopback = it != interfaces.end() && it->second.second;
    };
    std::vector<NetworkRoute> routes;
    std::ifstream v4("/proc/net/route");
    std::string line;
    std::getline(v4, line);  // column names
    while (std::getline(v4, line)) {
        std::istringstream in(line);
        std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
        if (!(in >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask)) continue;
        try {
            NetworkRoute r;
            r.family = AF_INET;
            r.interface = iface;
            r.destination = hexBytes(destination, 4, true);  // the kernel prints it little-endian
            auto maskBytes = hexBytes(mask, 4, true);
            for (int i = 0; i < 4; ++i) r.prefixLength += __builtin_popcount(maskBytes[i]);
            r.hasGateway = std::stoul(gateway, nullptr, 16) != 0;
            describe(r);
            routes.push_back(r);
        } catch (const std::exception&) {  // a line we cannot read is no route
        }
    }
    std::ifstream v6("/proc/net/ipv6_route");
    while (std::getline(v6, line)) {
        std::istringstream in(line);
        std::string destination, prefix, src, srcPrefix, nextHop, metric, refcnt, use, flags, iface;
        if (!(in >> destination >> prefix >> src >> srcPrefix >> nextHop >> metric >> refcnt >> use >> flags >> iface))
            continue;
        try {
            NetworkRoute r;
            r.family = AF_INET6;
            r.interface = iface;
            r.destination = hexBytes(destination, 16, false);
            r.prefixLength = static_cast<int>(std::stoul(prefix, nullptr, 16));
            r.hasGateway = nextHop != std::string(32, '0');
            describe(r);
            if (!(std::stoul(flags, nullptr, 16) & 0x0200)) routes.push_back(r);  // skip RTF_REJECT
        } catch (const std::exception&) {}
    }
    for (auto& [name, state] : interfaces) {
        if (!state.second) continue;  // the loopback routes live in a table /proc does not show
        NetworkRoute v4loop;
        v4loop.destination[0] = 127;
        v4loop.prefixLength = 8;
        v4loop.interface = name;
        v4loop.interfaceUp = state.first;
        v4loop.loopback = true;
        routes.push_back(v4loop);
        NetworkRoute v6loop;
        v6loop.family = AF_INET6;
        v6loop.destination[15] = 1;
        v6loop.prefixLength = 128;
        v6loop.interface = name;
        v6loop.interfaceUp = state.first;
        v6loop.loopback = true;
        routes.push_back(v6loop);
    }
    return routes;
}

std::vector<NetworkRoute> NetworkRoutes::current() {
    auto custom = source().get();
    return custom ? custom() : systemRoutes();
}

// ---- Listening targets and the netlink thread -----------------------------------------

class ReachabilityMonitor {
public:
    static ReachabilityMonitor& shared() {
        static NoDestructor<ReachabilityMonitor> monitor;  // lives for the process
        return *monitor;
    }
    void add(const SCNetworkReachabilityRef& target) {
        bool start = state_.write([&](State& state) {
            for (auto& w : state.targets)
                if (w.lock() == target) return false;
            state.targets.push_back(target);
            return !std::exchange(state.started, true);
        });
        if (start) std::thread([this] { listen(); }).detach();
    }
    void remove(const SCNetworkReachability* target) {
        state_.write([&](State& state) {
            std::erase_if(state.targets, [&](const std::weak_ptr<SCNetworkReachability>& w) {
                auto t = w.lock();
                return !t || t.get() == target;
            });
        });
    }
    void reevaluateAll() {
        auto targets = state_.read([](const State& state) {
            std::vector<SCNetworkReachabilityRef> alive;
            for (auto& w : state.targets)
                if (auto t = w.lock()) alive.push_back(t);
            return alive;
        });
        if (targets.empty()) return;
        auto routes = NetworkRoutes::current();
        for (auto& t : targets) t->reevaluate(routes);
    }

private:
    void listen() {
        int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (fd < 0) return;
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups =
            RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return;
        }
        char buffer[16384];
        while (true) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != ENOBUFS) break;  // a lost burst still means "look again"
            // Drain what else arrived in the same burst, then look once.
            pollfd p{fd, POLLIN, 0};
            while (::poll(&p, 1, 50) > 0 && ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {}
            reevaluateAll();
        }
        ::close(fd);
    }

    struct State {
        std::vector<std::weak_ptr<SCNetworkReachability>> targets;
        bool started = false;
    };
    Protected<State> state_;
};

void NetworkRoutes::setSource(std::function<std::vector<NetworkRoute>()> newSource) {
    source().set(std::move(newSource));
    changed();
}

void NetworkRoutes::changed() { ReachabilityMonitor::shared().reevaluateAll(); }

// ---- Targets -------------------------------------------------------------------------

SCNetworkReachability::~SCNetworkReachability() { ReachabilityMonitor::shared().remove(this); }

SCNetworkReachabilityFlags SCNetworkReachability::flags(const std::vector<NetworkRoute>& routes) const {
    const NetworkRoute* best = nullptr;
    for (auto& r : routes) {
        if (!r.interfaceUp) continue;
        if (!anyFamily_ && r.family != family_) continue;
        if (wildcard_) {
            // The network in general: a default route that leaves the host.
            if (r.prefixLength == 0 && !r.loopback && (!best || r.family == family_)) best = &r;
            continue;
        }
        if (r.family != address_->family) continue;
        if (!prefixMatches(r.destination, address_->destination, r.prefixLength)) continue;
        if (!best || r.prefixLength > best->prefixLength) best = &r;
    }
    if (!best) return 0;
    SCNetworkReachabilityFlags flags = kSCNetworkReachabilityFlagsReachable;
    if (best->loopback && !wildcard_)
        flags |= kSCNetworkReachabilityFlagsIsLocalAddress | kSCNetworkReachabilityFlagsIsDirect;
    else if (!best->hasGateway && !wildcard_) flags |= kSCNetworkReachabilityFlagsIsDirect;
    return flags;
}

std::string SCNetworkReachability::describe(SCNetworkReachabilityFlags f) {
    auto bit = [&](SCNetworkReachabilityFlags b, char c) { return (f & b) ? c : '-'; };
    std::string text;
    text += bit(kSCNetworkReachabilityFlagsIsWWAN, 'W');
    text += bit(kSCNetworkReachabilityFlagsReachable, 'R');
    text += ' ';
    text += bit(kSCNetworkReachabilityFlagsConnectionRequired, 'c');
    text += bit(kSCNetworkReachabilityFlagsTransientConnection, 't');
    text += bit(kSCNetworkReachabilityFlagsInterventionRequired, 'i');
    text += bit(kSCNetworkReachabilityFlagsConnectionOnTraffic, 'C');
    text += bit(kSCNetworkReachabilityFlagsConnectionOnDemand, 'D');
    text += bit(kSCNetworkReachabilityFlagsIsLocalAddress, 'l');
    text += bit(kSCNetworkReachabilityFlagsIsDirect, 'd');
    return text;
}

void SCNetworkReachability::reevaluate(const std::vector<NetworkRoute>& routes) {
    auto now = flags(routes);
    auto report = listening_.write([&](Listening& listening) -> std::optional<Listening> {
        if (!listening.callback || !listening.queue || listening.lastFlags == now) return std::nullopt;
        listening.lastFlags = now;
        return listening;
    });
    if (!report) return;
    auto callback = std::move(report->callback);
    auto queue = std::move(report->queue);
    auto self = shared_from_this();
    queue->async([self, callback, now] { callback(self, now); });
}

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address) {
    if (!address) return nullptr;
    SCNetworkReachabilityRef target(new SCNetworkReachability());
    NetworkRoute host;
    if (address->sa_family == AF_INET) {
        auto* in = reinterpret_cast<const sockaddr_in*>(address);
        std::memcpy(host.destination.data(), &in->sin_addr, 4);
        host.family = AF_INET;
        host.prefixLength = 32;
        target->wildcard_ = in->sin_addr.s_addr == htonl(INADDR_ANY);
    } else if (address->sa_family == AF_INET6) {
        auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        std::memcpy(host.destination.data(), &in6->sin6_addr, 16);
        host.family = AF_INET6;
        host.prefixLength = 128;
        target->wildcard_ = IN6_IS_ADDR_UNSPECIFIED(&in6->sin6_addr);
        target->anyFamily_ = target->wildcard_;  // "the internet", over either family
    } else {
        return nullptr;
    }
    target->family_ = host.family;
    if (!target->wildcard_) target->address_ = host;
    return target;
}

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const std::string& name) {
    if (name.empty()) return nullptr;
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET, name.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        return SCNetworkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&v4));
    }
    std::string bare =
        name.size() > 2 && name.front() == '[' && name.back() == ']' ? name.substr(1, name.size() - 2) : name;
    if (inet_pton(AF_INET6, bare.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        return SCNetworkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&v6));
    }
    if (name == "localhost" || (name.size() > 10 && name.compare(name.size() - 10, 10, ".localhost") == 0)) {
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return SCNetworkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&v4));
    }
    SCNetworkReachabilityRef target(new SCNetworkReachability());
    target->wildcard_ = true;
    target->anyFamily_ = true;
    return target;
}

bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags* flags) {
    if (!target || !flags) return false;
    *flags = target->flags(NetworkRoutes::current());
    return true;
}

// Starts or stops listening after the callback or the queue changed. Listening starts
// from the flags of now: only later changes are reported.
bool updateListening(const SCNetworkReachabilityRef& target, bool listening) {
    if (listening) {
        auto now = target->flags(NetworkRoutes::current());
        target->listening_.set(&SCNetworkReachability::Listening::lastFlags, now);
        ReachabilityMonitor::shared().add(target);
    } else {
        ReachabilityMonitor::shared().remove(target.get());
    }
    return true;
}

bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityCallBack callback) {
    if (!target) return false;
    bool listening = target->listening_.write([&](SCNetworkReachability::Listening& state) {
        state.callback = std::move(callback);
        return state.callback && state.queue;
    });
    return updateListening(target, listening);
}

bool SCNetworkReachabilitySetDispatchQueue(const SCNetworkReachabilityRef& target, DispatchQueuePtr queue) {
    if (!target) return false;
    bool listening = target->listening_.write([&](SCNetworkReachability::Listening& state) {
        state.queue = std::move(queue);
        return state.callback && state.queue;
    });
    return updateListening(target, listening);
}

}  // namespace platform
