// The client's own plugin: a fixed request timeout.
#include "TallockSDK/RequestTimeoutPlugin.h"

namespace TallockSDK {

const std::shared_ptr<RequestTimeoutPlugin>& RequestTimeoutPlugin::shared() {
    static const auto instance = std::make_shared<RequestTimeoutPlugin>();
    return instance;
}

platform::URLRequest RequestTimeoutPlugin::prepare(const platform::URLRequest& request, const Berth::TargetType&) {
    platform::URLRequest copy = request;
    copy.setTimeoutInterval(timeoutInterval);
    return copy;
}

}  // namespace TallockSDK
