// Batch upload through the provider: the response handler decides between delivered
// (resend the failed set), dropped (status outside 200...399 or a body that is not
// text) and failed (retry after the interval, keep in the failed set).
#include "TallockSDK/NetworkManager.h"

#include <iostream>
#include <typeinfo>

#include "TallockSDK/RequestTimeoutPlugin.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/WeakCall.h"
#include "platform/dispatch/CheckOnQueue.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/StringEncoding.h"
#include "platform/foundation/TypeName.h"

namespace TallockSDK {

void FlushCompletion::release() {
    if (pending_ > 0) --pending_;
    if (pending_ == 0 && !called_) {
        called_ = true;
        if (completion_) completion_();
    }
}

std::shared_ptr<NetworkManager> NetworkManager::create(TallockConfigPtr config) {
    return std::make_shared<NetworkManager>(std::move(config));
}

NetworkManager::NetworkManager(TallockConfigPtr config)
    : requestQueue(platform::DispatchQueue::create("requestQueue", platform::DispatchQoS::default_)),
      config_(std::move(config)) {}

const std::shared_ptr<NetworkManager::Provider>& NetworkManager::provider() {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    if (!provider_) provider_ = makeProvider();
    return provider_;
}

namespace {
std::string describePlugins(const std::vector<Berth::PluginPtr>& plugins) {
    std::string out = "[";
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        if (i) out += ", ";
        const Berth::PluginType& plugin = *plugins[i];
        std::string name = platform::demangledTypeName(typeid(plugin).name());
        auto scope = name.rfind("::", name.find('<'));
        out += scope == std::string::npos ? name : name.substr(scope + 2);
    }
    return out + "]";
}

// The URL layer joins a base URL without a path and a path that starts with "/" with
// two slashes ("http://h" + "/p" gives "http://h//p"); the collector expects one.
Berth::EndpointPtr endpointFor(const TallockRequestAPI& target) {
    auto endpoint = NetworkManager::Provider::defaultEndpointMapping(target);
    const std::string base = target.baseURL().absoluteString();
    const std::string& url = endpoint->url;
    if (url.size() < base.size() + 2 || url.compare(0, base.size(), base) != 0 ||
        url.compare(base.size(), 2, "//") != 0)
        return endpoint;
    return std::make_shared<const Berth::Endpoint>(base + url.substr(base.size() + 1), endpoint->sampleResponseClosure,
                                                   endpoint->method, endpoint->task, endpoint->httpHeaderFields);
}
}  // namespace

std::shared_ptr<NetworkManager::Provider> NetworkManager::makeProvider() {
    std::vector<Berth::PluginPtr> plugins = config_->requestPlugins;
    std::cout << describePlugins(plugins) << std::endl;
    plugins.push_back(RequestTimeoutPlugin::shared());
    if (isBelowWarning(config_->logLevel.load())) plugins.push_back(loggerPlugin());
    return Provider::create(endpointFor, nullptr, nullptr, nullptr, Berth::BerthProviderCore::defaultHawserSession(),
                            std::move(plugins), false);
}

const std::shared_ptr<Berth::NetworkLoggerPlugin>& NetworkManager::loggerPlugin() {
    using Configuration = Berth::NetworkLoggerPlugin::Configuration;
    static const platform::NoDestructor<std::shared_ptr<Berth::NetworkLoggerPlugin>> plugin(
        std::make_shared<Berth::NetworkLoggerPlugin>(
            Configuration(Configuration::Formatter(Berth::NetworkLoggerPlugin::defaultEntryFormatter,
                                                   jsonResponseDataFormatter, jsonResponseDataFormatter),
                          Configuration::defaultOutput, Configuration::LogOptions::verbose)));
    return *plugin;
}

std::string NetworkManager::jsonResponseDataFormatter(const platform::Data& data) {
    auto utf8 = platform::StringEncoding::utf8();
    auto parsed = platform::JSONSerialization::jsonObject(data);
    if (parsed.isSuccess()) {
        auto pretty = platform::JSONSerialization::data(parsed.value(), platform::JSONWritingOptions::prettyPrinted);
        if (pretty.isSuccess())
            if (auto text = utf8.decode(pretty.value())) return *text;
    }
    return utf8.decode(data).value_or("");
}

void NetworkManager::retain(const FlushCompletionPtr& completion) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    if (!completion) return;
    ++completeCount;
    completion->retain();
}

void NetworkManager::release(const FlushCompletionPtr& completion) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    if (!completion) return;
    --completeCount;
    completion->release();
}

void NetworkManager::upload(const std::vector<EventPtr>& events, std::function<void()> completion) {
    platform::Data batch;
    try {
        batch = encodeBatch(events);
    } catch (...) {
        // Nothing will be sent, so nothing is counted: the flush is over.
        if (completion) completion();
        return;
    }
    auto token = completion ? std::make_shared<FlushCompletion>(std::move(completion)) : nullptr;
    // Unsettled from now: a quit before the request queue gets to it still keeps it.
    {
        platform::DispatchSemaphoreGuard guard(mutex);
        unsettled_.insert(batch);
    }
    requestQueue->async([self = shared_from_this(), batch = std::move(batch), token] {
        self->retain(token);
        self->send(batch, self->config_->retryTime, token);
    });
}

void NetworkManager::send(const platform::Data& batch, int retriesLeft, FlushCompletionPtr completion) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    std::optional<TallockRequestAPI> target;
    try {
        target = TallockRequestAPI::tallockURL(decodeBatch(batch), config_);
    } catch (...) {}
    if (!target) {
        // Not decodable, or no collector URL to send to: kept for a later try, and this
        // send is over.
        keepFailed(batch);
        settle(batch);
        release(completion);
        return;
    }
    provider()->request(
        *target, requestQueue, nullptr,
        platform::weakCall(weak_from_this(),
                           [batch, retriesLeft, completion](NetworkManager& self, const Berth::BerthResult& result) {
                               self.handle(result, batch, retriesLeft, completion);
                           }));
}

void NetworkManager::handle(const Berth::BerthResult& result, const platform::Data& batch, int retriesLeft,
                            const FlushCompletionPtr& completion) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    if (result.isFailure()) {
        keepFailed(batch);
        if (retriesLeft >= 1) {
            // The retry keeps this send's unit until it ends.
            requestQueue->asyncAfter(
                config_->retryTimeInterval,
                platform::weakCall(weak_from_this(), [batch, retriesLeft, completion](NetworkManager& self) {
                    self.retry(batch, retriesLeft - 1, completion);
                }));
            return;
        }
        settle(batch);
        release(completion);
        return;
    }

    settle(batch);
    const Berth::ResponsePtr& response = result.value();
    bool delivered = false;
    try {
        response->filterSuccessfulStatusAndRedirectCodes();
        response->mapString();
        delivered = true;
    } catch (...) {
        // Rejected by the collector: the batch is dropped.
    }
    if (delivered) {
        std::vector<platform::Data> resends = takeFailedForResend();
        for (auto& resend : resends) {
            // Counted now, so the flush cannot end before its resends are answered.
            retain(completion);
            requestQueue->async(platform::weakCall(
                weak_from_this(), [resend = std::move(resend), retriesLeft, completion](NetworkManager& self) {
                    self.send(resend, retriesLeft, completion);
                }));
        }
    }
    release(completion);
}

void NetworkManager::retry(const platform::Data& batch, int retriesLeft, const FlushCompletionPtr& completion) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    bool stillFailed = [&] {
        platform::DispatchSemaphoreGuard guard(mutex);
        return failToUploadLogsList.erase(batch) > 0;
    }();
    if (stillFailed) {
        send(batch, retriesLeft, completion);
        return;
    }
    settle(batch);
    release(completion);  // a resend took it meanwhile and carries it on
}

void NetworkManager::settle(const platform::Data& batch) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    platform::DispatchSemaphoreGuard guard(mutex);
    auto it = unsettled_.find(batch);
    if (it != unsettled_.end()) unsettled_.erase(it);
}

void NetworkManager::keepFailed(const platform::Data& batch) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    platform::DispatchSemaphoreGuard guard(mutex);
    failToUploadLogsList.insert(batch);
}

std::vector<platform::Data> NetworkManager::takeFailedForResend() {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    std::vector<platform::Data> resends;
    platform::DispatchSemaphoreGuard guard(mutex);
    while (!failToUploadLogsList.empty())
        resends.push_back(failToUploadLogsList.extract(failToUploadLogsList.begin()).value());
    for (const auto& resend : resends) unsettled_.insert(resend);
    return resends;
}

void NetworkManager::attachCache(const std::shared_ptr<CacheReadable>& cache) {
    cacheFileDelegate = cache;
    auto batches = cache ? cache->readCachedLogs() : std::nullopt;
    if (!batches) return;
    for (auto& batch : *batches) failToUploadLogsList.insert(std::move(batch));
}

std::optional<std::vector<platform::Data>> NetworkManager::dataToCache() {
    auto undelivered = readForCrashStore(mutex, [this] { return undeliveredHoldingLock(); });
    if (undelivered.empty()) return std::nullopt;
    return undelivered;
}

std::vector<platform::Data> NetworkManager::undeliveredBatches() {
    platform::DispatchSemaphoreGuard guard(mutex);
    return undeliveredHoldingLock();
}

std::vector<platform::Data> NetworkManager::undeliveredHoldingLock() const {
    std::set<platform::Data, BatchOrder> undelivered(failToUploadLogsList.begin(), failToUploadLogsList.end());
    undelivered.insert(unsettled_.begin(), unsettled_.end());
    return std::vector<platform::Data>(undelivered.begin(), undelivered.end());
}

std::vector<platform::Data> NetworkManager::failedBatches() {
    platform::DispatchSemaphoreGuard guard(mutex);
    return std::vector<platform::Data>(failToUploadLogsList.begin(), failToUploadLogsList.end());
}

}  // namespace TallockSDK
