// The base request: state, accessors, lifecycle events, the serializer queue, control
// calls and handlers. Handlers and monitor events never run under the request's lock;
// they are always dispatched to their own queues.
#include "Hawser/Request.h"

#include <cctype>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

#include "Hawser/HTTPHeaders.h"
#include "platform/base/Fatal.h"
#include "platform/dispatch/CheckOnQueue.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/UTF16.h"

namespace Hawser {

using platform::DispatchPredicate;
using platform::URLSessionTask;

bool Request::canTransitionTo(State from, State to) {
    switch (from) {
        case State::initialized: return to != State::initialized;
        case State::resumed: return to == State::suspended || to == State::cancelled || to == State::finished;
        case State::suspended: return to == State::resumed || to == State::cancelled || to == State::finished;
        case State::cancelled:
        case State::finished: return false;
    }
    return false;
}

Request::Request(platform::UUID id, DispatchQueuePtr underlyingQueue, DispatchQueuePtr serializationQueue,
                 EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                 std::weak_ptr<RequestDelegate> delegate)
    : id(id), underlyingQueue(std::move(underlyingQueue)), serializationQueue(std::move(serializationQueue)),
      eventMonitor(std::move(eventMonitor)), interceptor(std::move(interceptor)),
      uploadProgress_(platform::Progress::create(0)), downloadProgress_(platform::Progress::create(0)),
      delegate_(std::move(delegate)) {}

URLSessionTaskPtr Request::liveTask(const MutableState& state) {
    if (state.tasks.empty()) return nullptr;
    const auto& last = state.tasks.back();
    return last->state() == URLSessionTask::State::completed ? nullptr : last;
}

HWError Request::validationError(const platform::ErrorPtr& error) {
    return asHWErrorOr(error, [&] {
        return HWError::responseValidationFailed(ResponseValidationFailureReason::CustomValidationFailed{error});
    });
}

// ---- accessors ----

Request::State Request::state() const { return mutableState.get(&MutableState::state); }

std::optional<Request::ProgressHandlerPair> Request::uploadProgressHandler() const {
    return mutableState.get(&MutableState::uploadProgressHandler);
}
std::optional<Request::ProgressHandlerPair> Request::downloadProgressHandler() const {
    return mutableState.get(&MutableState::downloadProgressHandler);
}
RedirectHandlerPtr Request::redirectHandler() const { return mutableState.get(&MutableState::redirectHandler); }
CachedResponseHandlerPtr Request::cachedResponseHandler() const {
    return mutableState.get(&MutableState::cachedResponseHandler);
}
platform::URLCredentialPtr Request::credential() const { return mutableState.get(&MutableState::credential); }
void Request::setCredential(platform::URLCredentialPtr credential) {
    mutableState.set(&MutableState::credential, std::move(credential));
}
std::vector<URLRequest> Request::requests() const { return mutableState.get(&MutableState::requests); }
std::optional<URLRequest> Request::firstRequest() const {
    return mutableState.read([](const MutableState& s) -> std::optional<URLRequest> {
        if (s.requests.empty()) return std::nullopt;
        return s.requests.front();
    });
}
std::optional<URLRequest> Request::lastRequest() const {
    return mutableState.read([](const MutableState& s) -> std::optional<URLRequest> {
        if (s.requests.empty()) return std::nullopt;
        return s.requests.back();
    });
}
std::vector<URLRequest> Request::performedRequests() const {
    return mutableState.read([](const MutableState& s) {
        std::vector<URLRequest> performed;
        for (const auto& task : s.tasks) {
            if (auto current = task->currentRequest()) performed.push_back(std::move(*current));
        }
        return performed;
    });
}
HTTPURLResponsePtr Request::response() const {
    auto last = lastTask();
    if (!last) return nullptr;
    return std::dynamic_pointer_cast<const platform::HTTPURLResponse>(last->response());
}
std::vector<URLSessionTaskPtr> Request::tasks() const { return mutableState.get(&MutableState::tasks); }
URLSessionTaskPtr Request::firstTask() const {
    return mutableState.read([](const MutableState& s) { return s.tasks.empty() ? nullptr : s.tasks.front(); });
}
URLSessionTaskPtr Request::lastTask() const {
    return mutableState.read([](const MutableState& s) { return s.tasks.empty() ? nullptr : s.tasks.back(); });
}
std::vector<URLSessionTaskMetricsPtr> Request::allMetrics() const { return mutableState.get(&MutableState::metrics); }
URLSessionTaskMetricsPtr Request::firstMetrics() const {
    return mutableState.read([](const MutableState& s) { return s.metrics.empty() ? nullptr : s.metrics.front(); });
}
URLSessionTaskMetricsPtr Request::lastMetrics() const {
    return mutableState.read([](const MutableState& s) { return s.metrics.empty() ? nullptr : s.metrics.back(); });
}
std::int64_t Request::retryCount() const { return mutableState.get(&MutableState::retryCount); }
std::optional<HWError> Request::error() const { return mutableState.get(&MutableState::error); }
void Request::setError(std::optional<HWError> error) { mutableState.set(&MutableState::error, std::move(error)); }

// ---- lifecycle events ----

void Request::didCreateInitialURLRequest(const URLRequest& request) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    mutableState.write([&](MutableState& s) { s.requests.push_back(request); });
    if (eventMonitor) eventMonitor->requestDidCreateInitialURLRequest(self(), request);
}

void Request::didFailToCreateURLRequest(const HWError& error) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    setError(error);
    if (eventMonitor) eventMonitor->requestDidFailToCreateURLRequestWithError(self(), error);
    callCURLHandlerIfNecessary();
    retryOrFinish(error);
}

void Request::didAdaptInitialRequest(const URLRequest& initialRequest, const URLRequest& adaptedRequest) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    mutableState.write([&](MutableState& s) { s.requests.push_back(adaptedRequest); });
    if (eventMonitor)
        eventMonitor->requestDidAdaptInitialRequestToAdaptedRequest(self(), initialRequest, adaptedRequest);
}

void Request::didFailToAdaptURLRequest(const URLRequest& request, const HWError& error) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    setError(error);
    if (eventMonitor) eventMonitor->requestDidFailToAdaptURLRequestWithError(self(), request, error);
    callCURLHandlerIfNecessary();
    retryOrFinish(error);
}

void Request::didCreateURLRequest(const URLRequest& request) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    mutableState.write([&](MutableState& s) {
        if (!s.urlRequestHandler) return;
        auto& h = *s.urlRequestHandler;
        const bool givenAlready =
            h.givenAtSetting && *h.givenAtSetting + 1 == s.requests.size() && s.requests.back() == request;
        h.givenAtSetting.reset();
        if (!givenAlready) h.queue->async([handler = h.handler, request] { handler(request); });
    });
    if (eventMonitor) eventMonitor->requestDidCreateURLRequest(self(), request);
    callCURLHandlerIfNecessary();
}

void Request::callCURLHandlerIfNecessary() {
    mutableState.write([&](MutableState& s) {
        if (!s.cURLHandler) return;
        // The text is built when the handler runs, outside the lock.
        s.cURLHandler->queue->async(
            [self = self(), handler = s.cURLHandler->handler] { handler(self->cURLDescription()); });
        s.cURLHandler.reset();
    });
}

void Request::didCreateTask(const URLSessionTaskPtr& task) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    mutableState.write([&](MutableState& s) {
        s.tasks.push_back(task);
        if (auto h = s.urlSessionTaskHandler) h->queue->async([handler = h->handler, task] { handler(task); });
    });
    if (eventMonitor) eventMonitor->requestDidCreateTask(self(), task);
}

void Request::didResume() {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    if (eventMonitor) eventMonitor->requestDidResume(self());
}

void Request::didResumeTask(const URLSessionTaskPtr& task) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    if (eventMonitor) eventMonitor->requestDidResumeTask(self(), task);
}

void Request::didSuspend() {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    if (eventMonitor) eventMonitor->requestDidSuspend(self());
}

void Request::didSuspendTask(const URLSessionTaskPtr& task) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    if (eventMonitor) eventMonitor->requestDidSuspendTask(self(), task);
}

void Request::didCancel() {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    // An earlier failure stays the request's error.
    mutableState.write([](MutableState& s) {
        if (!s.error) s.error = HWError::explicitlyCancelled();
    });
    if (eventMonitor) eventMonitor->requestDidCancel(self());
}

void Request::didCancelTask(const URLSessionTaskPtr& task) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    if (eventMonitor) eventMonitor->requestDidCancelTask(self(), task);
}

void Request::didGatherMetrics(const URLSessionTaskMetricsPtr& metrics) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    mutableState.write([&](MutableState& s) { s.metrics.push_back(metrics); });
    if (eventMonitor) eventMonitor->requestDidGatherMetrics(self(), metrics);
}

void Request::didFailTask(const URLSessionTaskPtr& task, const HWError& earlyWithError) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    setError(earlyWithError);
    if (eventMonitor) eventMonitor->requestDidFailTaskEarlyWithError(self(), task, earlyWithError);
}

void Request::didCompleteTask(const URLSessionTaskPtr& task, const std::optional<HWError>& error) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    // An error recorded before completion (early failure, cancellation) wins.
    mutableState.write([&](MutableState& s) {
        if (!s.error) s.error = error;
    });
    auto steps = validators.get();
    for (const auto& validator : steps) validator();
    if (eventMonitor) eventMonitor->requestDidCompleteTaskWithError(self(), task, error);
    retryOrFinish(this->error());
}

void Request::prepareForRetry() {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    mutableState.write([](MutableState& s) { s.retryCount += 1; });
    reset();
    if (eventMonitor) eventMonitor->requestIsRetrying(self());
}

void Request::retryOrFinish(const std::optional<HWError>& error) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    auto session = delegate();
    if (isCancelled() || !error || !session) {
        finish();
        return;
    }
    // The completion keeps the request and the session alive until it is called.
    session->retryResult(self(), *error, [self = self(), session](RetryResult result) {
        switch (result.index()) {
            case 0: session->retryRequest(self, std::nullopt); break;
            case 1: session->retryRequest(self, result.delay()); break;
            case 2: self->finish(); break;
            default: {
                auto retryError = asHWError(result.error());
                if (!retryError) platform::fatal("Received retryError was not already HWError");
                self->finish(*retryError);
            }
        }
    });
}

void Request::finish(const std::optional<HWError>& error) {
    PLATFORM_CHECK_ON_QUEUE(underlyingQueue);
    bool already = mutableState.write([&](MutableState& s) {
        if (s.isFinishing) return true;
        s.isFinishing = true;
        if (error) s.error = error;
        return false;
    });
    if (already) return;
    processNextResponseSerializer();
    if (eventMonitor) eventMonitor->requestDidFinish(self());
}

// ---- response serializers ----

void Request::appendResponseSerializer(std::function<void()> closure) {
    mutableState.write([&](MutableState& s) {
        s.responseSerializers.push_back(std::move(closure));
        // A finished request reopens to serve the new handler.
        if (s.state == State::finished) s.state = State::resumed;
        // The first handler after a close-out reopens the round and marks it running, so
        // later handlers only queue behind it and a finish scheduled meanwhile (by cancel())
        // is ignored, as in the first round.
        if (s.responseSerializerProcessingFinished) {
            s.responseSerializerProcessingFinished = false;
            s.isFinishing = true;
            underlyingQueue->async([self = self()] { self->processNextResponseSerializer(); });
        }
        if (canTransitionTo(s.state, State::resumed)) {
            underlyingQueue->async([self = self()] {
                auto session = self->delegate();
                if (session && session->startImmediately()) self->resume();
            });
        }
    });
}

std::function<void()> Request::nextResponseSerializer() {
    return mutableState.read([](const MutableState& s) -> std::function<void()> {
        std::size_t index = s.responseSerializerCompletions.size();
        return index < s.responseSerializers.size() ? s.responseSerializers[index] : nullptr;
    });
}

void Request::processNextResponseSerializer() {
    if (auto serializer = nextResponseSerializer()) {
        serializationQueue->async(std::move(serializer));
        return;
    }
    // Close out before any completion runs, so that a completion calling back into the
    // request sees it closed.
    auto completions = mutableState.write([](MutableState& s) {
        auto taken = std::move(s.responseSerializerCompletions);
        s.responseSerializers.clear();
        s.responseSerializerCompletions.clear();
        if (canTransitionTo(s.state, State::finished)) s.state = State::finished;
        s.responseSerializerProcessingFinished = true;
        s.isFinishing = false;
        return taken;
    });
    for (const auto& completion : completions) completion();
    cleanup();
}

void Request::responseSerializerDidComplete(std::function<void()> completion) {
    mutableState.write([&](MutableState& s) { s.responseSerializerCompletions.push_back(std::move(completion)); });
    processNextResponseSerializer();
}

void Request::reset() {
    setError(std::nullopt);
    for (const auto& progress : {uploadProgress_, downloadProgress_}) {
        progress->setTotalUnitCount(0);
        progress->setCompletedUnitCount(0);
    }
    mutableState.write([](MutableState& s) {
        s.isFinishing = false;
        s.responseSerializerCompletions.clear();
    });
}

void Request::updateUploadProgress(std::int64_t totalBytesSent, std::int64_t totalBytesExpectedToSend) {
    uploadProgress_->setTotalUnitCount(totalBytesExpectedToSend);
    uploadProgress_->setCompletedUnitCount(totalBytesSent);
    if (auto h = uploadProgressHandler()) {
        h->queue->async([handler = h->handler, progress = uploadProgress_] { handler(progress); });
    }
}

// ---- control ----

URLSessionTaskPtr Request::task(const URLRequest&, const URLSessionPtr&) {
    platform::fatal("Subclasses must override.");
}

namespace {
std::string dynamicTypeName(const Request& request) {
    const char* mangled = typeid(request).name();
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && plain ? plain : mangled;
    std::free(plain);
    return name;
}
}  // namespace

void Request::performIn(Session&) {
    platform::fatal("Attempted to perform unsupported Request subclass: " + dynamicTypeName(*this));
}

RequestPtr Request::cancel() {
    mutableState.write([&](MutableState& s) {
        if (!canTransitionTo(s.state, State::cancelled)) return;
        s.state = State::cancelled;
        underlyingQueue->async([self = self()] { self->didCancel(); });
        auto task = liveTask(s);
        if (!task) {
            underlyingQueue->async([self = self()] { self->finish(); });
            return;
        }
        // A suspended task must run to be cancelled.
        task->resume();
        task->cancel();
        underlyingQueue->async([self = self(), task] { self->didCancelTask(task); });
    });
    return self();
}

RequestPtr Request::suspend() {
    mutableState.write([&](MutableState& s) {
        if (!canTransitionTo(s.state, State::suspended)) return;
        s.state = State::suspended;
        underlyingQueue->async([self = self()] { self->didSuspend(); });
        if (auto task = liveTask(s)) {
            task->suspend();
            underlyingQueue->async([self = self(), task] { self->didSuspendTask(task); });
        }
    });
    return self();
}

RequestPtr Request::resume() {
    mutableState.write([&](MutableState& s) {
        if (!canTransitionTo(s.state, State::resumed)) return;
        s.state = State::resumed;
        underlyingQueue->async([self = self()] { self->didResume(); });
        if (auto task = liveTask(s)) {
            task->resume();
            underlyingQueue->async([self = self(), task] { self->didResumeTask(task); });
        }
    });
    return self();
}

RequestPtr Request::authenticate(const std::string& username, const std::string& password,
                                 platform::URLCredential::Persistence persistence) {
    return authenticate(std::make_shared<const platform::URLCredential>(username, password, persistence));
}

RequestPtr Request::authenticate(platform::URLCredentialPtr credential) {
    setCredential(std::move(credential));
    return self();
}

RequestPtr Request::downloadProgress(DispatchQueuePtr queue, ProgressHandler closure) {
    mutableState.set(&MutableState::downloadProgressHandler, ProgressHandlerPair{std::move(closure), std::move(queue)});
    return self();
}

RequestPtr Request::uploadProgress(DispatchQueuePtr queue, ProgressHandler closure) {
    mutableState.set(&MutableState::uploadProgressHandler, ProgressHandlerPair{std::move(closure), std::move(queue)});
    return self();
}

RequestPtr Request::redirect(RedirectHandlerPtr handler) {
    bool twice = mutableState.write([&](MutableState& s) {
        if (s.redirectHandler) return true;
        s.redirectHandler = std::move(handler);
        return false;
    });
    if (twice) platform::fatal("Redirect handler has already been set.");
    return self();
}

RequestPtr Request::cacheResponse(CachedResponseHandlerPtr handler) {
    bool twice = mutableState.write([&](MutableState& s) {
        if (s.cachedResponseHandler) return true;
        s.cachedResponseHandler = std::move(handler);
        return false;
    });
    if (twice) platform::fatal("Cached response handler has already been set.");
    return self();
}

RequestPtr Request::cURLDescription(DispatchQueuePtr queue, std::function<void(const std::string&)> handler) {
    mutableState.write([&](MutableState& s) {
        if (!s.requests.empty()) {
            queue->async([self = self(), handler = std::move(handler)] { handler(self->cURLDescription()); });
        } else {
            s.cURLHandler = CURLHandler{std::move(queue), std::move(handler)};
        }
    });
    return self();
}

RequestPtr Request::cURLDescription(std::function<void(const std::string&)> handler) {
    return cURLDescription(underlyingQueue, std::move(handler));
}

RequestPtr Request::onURLRequestCreation(DispatchQueuePtr queue, std::function<void(const URLRequest&)> handler) {
    mutableState.write([&](MutableState& s) {
        std::optional<std::size_t> given;
        if (!s.requests.empty()) {
            queue->async([handler, request = s.requests.back()] { handler(request); });
            given = s.requests.size() - 1;
        }
        s.urlRequestHandler = URLRequestHandler{std::move(queue), std::move(handler), given};
    });
    return self();
}

RequestPtr Request::onURLSessionTaskCreation(DispatchQueuePtr queue,
                                             std::function<void(const URLSessionTaskPtr&)> handler) {
    mutableState.write([&](MutableState& s) {
        if (!s.tasks.empty()) queue->async([handler, task = s.tasks.back()] { handler(task); });
        s.urlSessionTaskHandler = URLSessionTaskHandler{std::move(queue), std::move(handler)};
    });
    return self();
}

void Request::cleanup() {
    if (auto session = delegate()) session->cleanup(self());
    // Taken out in one hold, so a handler added while the others run is not lost with
    // them: it stays for the next close-out.
    auto handlers = mutableState.write([](MutableState& s) {
        s.isCleanedUp = true;
        return std::exchange(s.finishHandlers, {});
    });
    for (const auto& handler : handlers) handler();
}

void Request::onFinish(std::function<void()> handler) {
    bool runNow = mutableState.write([&](MutableState& s) {
        if (s.state == State::finished || (s.state == State::cancelled && s.isCleanedUp)) return true;
        s.finishHandlers.push_back(handler);
        return false;
    });
    if (runNow) handler();
}

// ---- cURL text ----

namespace {

// The text inside double quotes for a POSIX shell: the four characters that keep a
// meaning there (backslash, double quote, dollar, backquote) get a backslash, so the
// command sends exactly these bytes and never runs anything else. For a body this
// writes a backslash before a quote as three backslashes and a quote, and a lone quote
// as a backslash and a quote.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"' || c == '$' || c == '`') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A word as it stands when the shell reads it so, else quoted.
std::string shellWord(std::string_view text) {
    bool plain = !text.empty();
    for (unsigned char c : text) {
        if (!std::isalnum(c) && std::string_view("@%+=:,./_-").find(static_cast<char>(c)) == std::string_view::npos)
            plain = false;
    }
    return plain ? std::string(text) : quoted(text);
}

// Copies `from` into `into` through the case-insensitive update, leaving out a header
// named exactly "Cookie" (cookies get their own piece).
void mergeHeaders(HTTPHeaders& into, const HTTPHeaders& from) {
    for (const auto& header : from) {
        if (header.name != "Cookie") into.update(header);
    }
}

}  // namespace

std::string Request::cURLDescription() const {
    auto request = lastRequest();
    if (!request || !request->url() || !request->url()->host()) return "$ curl command could not be created";
    const platform::URL& url = *request->url();
    const std::string host = *url.host();
    std::vector<std::string> pieces{"$ curl -v", "-X " + shellWord(request->httpMethod())};

    auto session = delegate();
    std::optional<platform::URLSessionConfiguration> configuration;
    if (session) configuration = session->sessionConfiguration();

    if (configuration && configuration->urlCredentialStorage) {
        platform::URLProtectionSpace space(host, url.port().value_or(0), url.scheme(), host,
                                           platform::NSURLAuthenticationMethodHTTPBasic);
        auto stored = configuration->urlCredentialStorage->credentials(space);
        std::vector<platform::URLCredentialPtr> credentials;
        for (const auto& [user, credential] : stored) credentials.push_back(credential);
        // A store that knows nothing for this space leaves the request's own credential.
        if (stored.empty()) credentials.push_back(credential());
        for (const auto& c : credentials) {
            if (c && c->user() && c->password()) pieces.push_back("-u " + shellWord(*c->user() + ":" + *c->password()));
        }
    }

    if (configuration && configuration->httpShouldSetCookies && configuration->httpCookieStorage) {
        auto cookies = configuration->httpCookieStorage->cookies(url);
        if (!cookies.empty()) {
            std::string joined;
            for (const auto& cookie : cookies) {
                if (!joined.empty()) joined += ";";
                joined += cookie.name + "=" + cookie.value;
            }
            pieces.push_back("-b " + quoted(joined));
        }
    }

    HTTPHeaders headerList;
    if (configuration) mergeHeaders(headerList, headers(*configuration));
    mergeHeaders(headerList, headers(*request));
    for (const auto& header : headerList) {
        pieces.push_back("-H " + quoted(header.name + ": " + header.value));
    }

    if (const auto& body = request->httpBody()) {
        std::string text =
            platform::sanitizedUTF8(std::string_view(reinterpret_cast<const char*>(body->data()), body->count()));
        // curl reads "-d @name" as a file to send; such a body must go out as it stands.
        pieces.push_back((text.starts_with('@') ? "--data-raw " : "-d ") + quoted(text));
    }

    pieces.push_back(quoted(url.absoluteString()));
    std::string command;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) command += " \\\n\t";
        command += pieces[i];
    }
    return command;
}

std::string Request::description() const {
    auto performed = performedRequests();
    std::optional<URLRequest> request = performed.empty() ? lastRequest() : std::optional(performed.back());
    if (!request || !request->url()) return "No request created yet.";
    std::string text = request->httpMethod() + " " + request->url()->absoluteString();
    if (auto r = response()) text += " (" + std::to_string(r->statusCode()) + ")";
    return text;
}

}  // namespace Hawser

std::size_t std::hash<Hawser::Request>::operator()(const Hawser::Request& request) const noexcept {
    const auto& bytes = request.id.bytes();
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
