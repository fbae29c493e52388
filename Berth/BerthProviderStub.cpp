// Answering calls from the endpoint's sample response, at once or after a delay, through
// the same plugin hooks, validation and completion path as a real response.
#include <cmath>
#include <limits>

#include "Berth/BerthProvider.h"
#include "Berth/RequestTypeWrapper.h"
#include "platform/base/Fatal.h"
#include "platform/dispatch/DispatchTime.h"

namespace Berth {

using platform::URLRequest;

URLRequest BerthProviderCore::notifyPluginsOfImpendingStub(const URLRequest& request, const TargetType& target) {
    // A request that is never resumed, only so the plugins see what they would see.
    auto shown = session_->request(std::make_shared<Hawser::URLRequestValue>(request), nullptr);
    shown->cancel();
    URLRequest prepared = request;
    for (const auto& plugin : plugins_) prepared = plugin->prepare(prepared, target);
    RequestTypeWrapper wrapper(shown, prepared);
    for (const auto& plugin : plugins_) plugin->willSend(wrapper, target);
    return prepared;
}

namespace {
// A sample response checked against the target's accepted codes.
BerthResult validated(const ResponsePtr& response, const TargetType& target) {
    auto codes = target.validationType().statusCodes();
    if (codes.empty() || std::find(codes.begin(), codes.end(), response->statusCode) != codes.end())
        return BerthResult::success(response);
    return BerthResult::failure(BerthError::underlying(BerthError::statusCode(response).shared(), response));
}
}  // namespace

CancellablePtr BerthProviderCore::stubRequest(const TargetPtr& target, const URLRequest& request,
                                              DispatchQueuePtr callbackQueue, Completion completion,
                                              const EndpointPtr& endpoint, const StubBehavior& stubBehavior) {
    DispatchQueuePtr queue = callbackQueue ? callbackQueue : callbackQueue_;
    auto token = std::make_shared<CancellableToken>(std::function<void()>([] {}));
    URLRequest prepared = notifyPluginsOfImpendingStub(request, *target);
    auto self = shared_from_this();

    auto stub = [self, token, target, completion, endpoint, prepared] {
        if (token->isCancelled()) {
            self->cancelCompletion(completion, *target);
            return;
        }
        EndpointSampleResponse sample = endpoint->sampleResponseClosure();
        std::optional<BerthResult> result;
        if (auto r = sample.as<EndpointSampleResponse::NetworkResponse>()) {
            result = validated(Response::create(r->statusCode, r->data, prepared), *target);
        } else if (auto r = sample.as<EndpointSampleResponse::Response>()) {
            platform::precondition(r->response != nullptr, "A sample response needs its HTTP response.");
            result = validated(Response::create(r->response->statusCode(), r->data, prepared, r->response), *target);
        } else {
            auto error = sample.as<EndpointSampleResponse::NetworkError>()->error;
            result = BerthResult::failure(BerthError::underlying(error));
        }
        for (const auto& plugin : self->plugins_) plugin->didReceive(*result, *target);
        completion(*result);
    };

    if (stubBehavior.as<StubBehavior::Immediate>()) {
        if (queue) queue->async(stub);
        else stub();
    } else if (auto delayed = stubBehavior.as<StubBehavior::Delayed>()) {
        double nanoseconds = delayed->seconds * 1e9;
        if (!std::isfinite(nanoseconds) || nanoseconds >= 9223372036854775808.0 || nanoseconds < -9223372036854775808.0)
            platform::fatal("A stub delay must be finite and fit in signed 64-bit nanoseconds.");
        double seconds = static_cast<double>(static_cast<std::int64_t>(nanoseconds)) / 1e9;
        (queue ? queue : platform::DispatchQueue::main())->asyncAfter(platform::DispatchTime::now() + seconds, stub);
    } else {
        platform::fatal("Method called to stub request when stubbing is disabled.");
    }
    return token;
}

}  // namespace Berth
