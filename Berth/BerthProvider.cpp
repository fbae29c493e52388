// The provider's request pipeline: mapping, in-flight joining, cancellation before
// sending, the choice of client request kind, and turning the client's outcome into the
// caller's result.
#include "Berth/BerthProvider.h"

#include "Hawser/HTTPHeaders.h"
#include "Hawser/SessionDelegate.h"
#include "platform/base/Fatal.h"
#include "platform/files/FileManager.h"

namespace Berth {

using platform::URLRequest;

double ProgressResponse::progress() const {
    if (completed()) return 1.0;
    if (progressObject && progressObject->totalUnitCount() > 0) return progressObject->fractionCompleted();
    return 0.0;
}

void BerthRequestInterceptor::adapt(const URLRequest& urlRequest, const Hawser::SessionPtr&,
                                    Hawser::AdaptCompletion completion) {
    URLRequest prepared = prepare ? prepare(urlRequest) : urlRequest;
    if (auto send = willSend()) send(prepared);
    completion(platform::Result<URLRequest>::success(prepared));
}

// ---- construction and defaults ----

std::shared_ptr<BerthProviderCore> BerthProviderCore::create(EndpointClosure endpointClosure,
                                                             RequestClosure requestClosure, StubClosure stubClosure,
                                                             DispatchQueuePtr callbackQueue, Hawser::SessionPtr session,
                                                             std::vector<PluginPtr> plugins, bool trackInflights) {
    return std::shared_ptr<BerthProviderCore>(
        new BerthProviderCore(std::move(endpointClosure), std::move(requestClosure), std::move(stubClosure),
                              std::move(callbackQueue), std::move(session), std::move(plugins), trackInflights));
}

BerthProviderCore::BerthProviderCore(EndpointClosure endpointClosure, RequestClosure requestClosure,
                                     StubClosure stubClosure, DispatchQueuePtr callbackQueue,
                                     Hawser::SessionPtr session, std::vector<PluginPtr> plugins, bool trackInflights)
    : endpointClosure_(endpointClosure ? std::move(endpointClosure) : EndpointClosure(defaultEndpointMapping)),
      requestClosure_(requestClosure ? std::move(requestClosure) : RequestClosure(defaultRequestMapping)),
      stubClosure_(stubClosure ? std::move(stubClosure) : StubClosure(neverStub)),
      callbackQueue_(std::move(callbackQueue)), session_(session ? std::move(session) : defaultHawserSession()),
      plugins_(std::move(plugins)), trackInflights_(trackInflights) {}

EndpointPtr BerthProviderCore::defaultEndpointMapping(const TargetPtr& target) {
    return std::make_shared<Endpoint>(
        url(*target).absoluteString(),
        [target] { return EndpointSampleResponse::networkResponse(200, target->sampleData()); }, target->method(),
        target->task(), target->headers());
}

void BerthProviderCore::defaultRequestMapping(const EndpointPtr& endpoint, const RequestResultClosure& closure) {
    std::optional<RequestResult> result;
    try {
        result = RequestResult::success(endpoint->urlRequest());
    } catch (...) {
        platform::ErrorPtr error = platform::errorFromCurrentException();
        auto berth = asBerthError(error);
        if (berth && (berth->is<BerthError::RequestMapping>() || berth->is<BerthError::ParameterEncoding>()))
            result = RequestResult::failure(*berth);
        else result = RequestResult::failure(BerthError::underlying(error));
    }
    closure(*result);
}

Hawser::SessionPtr BerthProviderCore::defaultHawserSession() {
    auto configuration = platform::URLSessionConfiguration::defaultSessionConfiguration();
    Hawser::setHeaders(configuration, Hawser::HTTPHeaders::default_());
    return Hawser::Session::create(configuration,
                                   std::make_shared<Hawser::SessionDelegate>(platform::FileManager::defaultManager()),
                                   platform::DispatchQueue::create("org.hawser.session.rootQueue"), false);
}

// ---- one call ----

CancellablePtr BerthProviderCore::request(const TargetPtr& target, DispatchQueuePtr callbackQueue,
                                          ProgressBlock progress, Completion completion) {
    return requestNormal(target, callbackQueue ? std::move(callbackQueue) : callbackQueue_, std::move(progress),
                         std::move(completion));
}

CancellablePtr BerthProviderCore::requestNormal(const TargetPtr& target, DispatchQueuePtr queue, ProgressBlock progress,
                                                Completion completion) {
    EndpointPtr endpoint = this->endpoint(target);
    StubBehavior stubBehavior = stubClosure_(*target);
    auto token = std::make_shared<CancellableWrapper>();

    Completion pluginsWithCompletion = [plugins = plugins_, target, completion](const BerthResult& result) {
        BerthResult processed = result;
        for (const auto& plugin : plugins) processed = plugin->process(processed, *target);
        if (completion) completion(processed);
    };

    if (trackInflights_) {
        // Look-up and insertion under one hold of the lock, so two racing calls cannot
        // both think they are first.
        bool joined = inflight_.write([&](InflightMap& map) {
            auto found = map.find(endpoint);
            if (found != map.end()) {
                found->second.push_back(pluginsWithCompletion);
                return true;
            }
            map.emplace(endpoint, std::vector<Completion>{pluginsWithCompletion});
            return false;
        });
        if (joined) return token;
    }

    auto self = shared_from_this();
    // With in-flight tracking every outcome, also one before sending, goes to all waiters
    // and clears the entry, so no joined call waits for ever.
    Completion finish = pluginsWithCompletion;
    if (trackInflights_) finish = [self, endpoint](const BerthResult& r) { self->completeInflight(endpoint, r); };

    requestClosure_(
        endpoint, [self, target, queue, progress, endpoint, stubBehavior, token, finish](const RequestResult& result) {
            if (token->isCancelled()) {
                self->cancelCompletion(finish, *target);
                return;
            }
            if (result.isFailure()) {
                finish(BerthResult::failure(result.error()));
                return;
            }
            token->setInnerCancellable(
                self->performRequest(target, result.value(), queue, progress, finish, endpoint, stubBehavior));
        });
    return token;
}

void BerthProviderCore::completeInflight(const EndpointPtr& endpoint, const BerthResult& result) {
    // Taken out under the lock, called outside it: a waiter may start a new call.
    std::vector<Completion> waiters = inflight_.write([&](InflightMap& map) {
        std::vector<Completion> taken;
        auto found = map.find(endpoint);
        if (found != map.end()) {
            taken = std::move(found->second);
            map.erase(found);
        }
        return taken;
    });
    for (const auto& waiter : waiters) waiter(result);
}

void BerthProviderCore::cancelCompletion(const Completion& completion, const TargetType& target) {
    auto error =
        BerthError::underlying(platform::NSError::make(platform::NSURLErrorDomain, platform::NSURLErrorCancelled));
    BerthResult result = BerthResult::failure(error);
    for (const auto& plugin : plugins_) plugin->didReceive(result, target);
    completion(result);
}

CancellablePtr BerthProviderCore::performRequest(const TargetPtr& target, const URLRequest& request,
                                                 DispatchQueuePtr queue, ProgressBlock progress, Completion completion,
                                                 const EndpointPtr& endpoint, const StubBehavior& stubBehavior) {
    if (!stubBehavior.isNever())
        return stubRequest(target, request, std::move(queue), std::move(completion), endpoint, stubBehavior);

    const Task& task = endpoint->task;
    if (auto file = task.as<Task::UploadFile>())
        return sendUploadFile(target, request, queue, file->fileURL, progress, completion);
    const std::vector<MultipartFormData>* parts = nullptr;
    if (auto m = task.as<Task::UploadMultipart>()) parts = &m->parts;
    if (auto c = task.as<Task::UploadCompositeMultipart>()) parts = &c->parts;
    if (parts) {
        if (parts->empty() || !supportsMultipart(endpoint->method))
            platform::fatal(target->description() + " is not a multipart upload target.");
        return sendUploadMultipart(target, request, queue, *parts, progress, completion);
    }
    if (auto d = task.as<Task::DownloadDestinationTask>())
        return sendDownloadRequest(target, request, queue, d->destination, progress, completion);
    if (auto d = task.as<Task::DownloadParameters>())
        return sendDownloadRequest(target, request, queue, d->destination, progress, completion);
    return sendRequest(target, request, queue, progress, completion);
}

BerthResult convertResponseToResult(const platform::HTTPURLResponsePtr& response,
                                    const std::optional<URLRequest>& request, const std::optional<platform::Data>& data,
                                    const platform::ErrorPtr& error) {
    if (response) {
        auto made = Response::create(response->statusCode(), data.value_or(platform::Data()), request, response);
        if (!error) return BerthResult::success(made);
        return BerthResult::failure(BerthError::underlying(error, made));
    }
    if (error) return BerthResult::failure(BerthError::underlying(error));
    // Neither a response nor an error: the URL-loading layer's generic failure.
    return BerthResult::failure(BerthError::underlying(platform::NSError::make(platform::NSURLErrorDomain, -1)));
}

}  // namespace Berth
