// The client's own plugin: a fixed request timeout.
#include "TallockSDK/RequestTimeoutPlugin.h"
#include "platform/base/NoDestructor.h"

namespace TallockSDK {

const std::shared_ptr<RequestTimeoutPlugin>& RequestTimeoutPlugin::shared() {
    static const platform::NoDestructor<std::shared_ptr<RequestTimeoutPlugin>> instance(
        std::make_shared<RequestTimeoutPlugin>());
    return *instance;
}

platform::URLRequest RequestTimeoutPlugin::prepare(const platform::URLRequest& request, const Berth::TargetType&) {
    platform::URLRequest copy = request;
    copy.setTimeoutInterval(timeoutInterval);
    return copy;
}

}  // namespace TallockSDK
