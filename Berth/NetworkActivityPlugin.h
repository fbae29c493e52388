// Reports the start and the end of each request to a closure (an activity indicator,
// say). It does not count overlapping requests.
#pragma once
#include <functional>

#include "Berth/Plugin.h"

namespace Berth {

enum class NetworkActivityChangeType { began, ended };

class NetworkActivityPlugin : public PluginType {
public:
    using NetworkActivityClosure = std::function<void(NetworkActivityChangeType, const TargetType&)>;
    explicit NetworkActivityPlugin(NetworkActivityClosure closure) : networkActivityClosure(std::move(closure)) {}

    const NetworkActivityClosure networkActivityClosure;

    void willSend(const RequestType&, const TargetType& target) override {
        networkActivityClosure(NetworkActivityChangeType::began, target);
    }
    void didReceive(const BerthResult&, const TargetType& target) override {
        networkActivityClosure(NetworkActivityChangeType::ended, target);
    }
};

}  // namespace Berth
