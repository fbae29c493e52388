// The session's request factories, their request wrappers, and the pipeline that takes
// a request from registration to a task in the request's state.
#include "Hawser/Session.h"

#include "Hawser/MultipartUpload.h"
#include "platform/dispatch/CheckOnQueue.h"

namespace Hawser {

using platform::URLRequest;

// ---- request wrappers ----

Session::RequestConvertible::RequestConvertible(URLConvertible url, HTTPMethod method,
                                                std::optional<Parameters> parameters, AnyParameterEncoding encoding,
                                                std::optional<HTTPHeaders> headers, RequestModifier requestModifier)
    : url(std::move(url)), method(std::move(method)), parameters(std::move(parameters)), encoding(std::move(encoding)),
      headers(std::move(headers)), requestModifier(std::move(requestModifier)) {}

URLRequest Session::RequestConvertible::asURLRequest() const {
    URLRequest request = makeURLRequest(url, method, headers);
    if (requestModifier) requestModifier(request);
    return (*encoding).encode(request, parameters);
}

Session::RequestEncodableConvertible::RequestEncodableConvertible(URLConvertible url, HTTPMethod method,
                                                                  std::optional<AnyEncodable> parameters,
                                                                  ParameterEncoderPtr encoder,
                                                                  std::optional<HTTPHeaders> headers,
                                                                  RequestModifier requestModifier)
    : url(std::move(url)), method(std::move(method)), parameters(std::move(parameters)), encoder(std::move(encoder)),
      headers(std::move(headers)), requestModifier(std::move(requestModifier)) {}

URLRequest Session::RequestEncodableConvertible::asURLRequest() const {
    URLRequest request = makeURLRequest(url, method, headers);
    if (requestModifier) requestModifier(request);
    if (!parameters) return request;
    return encoder->encode(parameters, std::move(request));
}

Session::ParameterlessRequestConvertible::ParameterlessRequestConvertible(URLConvertible url, HTTPMethod method,
                                                                          std::optional<HTTPHeaders> headers,
                                                                          RequestModifier requestModifier)
    : url(std::move(url)), method(std::move(method)), headers(std::move(headers)),
      requestModifier(std::move(requestModifier)) {}

URLRequest Session::ParameterlessRequestConvertible::asURLRequest() const {
    URLRequest request = makeURLRequest(url, method, headers);
    if (requestModifier) requestModifier(request);
    return request;
}

platform::URL defaultDownloadURL(const platform::URL& temporaryURL) {
    return temporaryURL.deletingLastPathComponent().appendingPathComponent("Hawser_" +
                                                                           temporaryURL.lastPathComponent());
}

DownloadRequest::Destination defaultDownloadDestination() {
    return [](const platform::URL& temporaryURL, const platform::HTTPURLResponse&) {
        return DownloadRequest::DestinationResult{defaultDownloadURL(temporaryURL), {}};
    };
}

// ---- factories ----

DataRequestPtr Session::request(URLConvertible url, HTTPMethod method, std::optional<Parameters> parameters,
                                AnyParameterEncoding encoding, std::optional<HTTPHeaders> headers,
                                RequestInterceptorPtr interceptor, RequestModifier requestModifier) {
    auto convertible =
        std::make_shared<const RequestConvertible>(std::move(url), std::move(method), std::move(parameters),
                                                   std::move(encoding), std::move(headers), std::move(requestModifier));
    return request(URLRequestConvertiblePtr(convertible), std::move(interceptor));
}

DataRequestPtr Session::request(URLConvertible url, HTTPMethod method, std::optional<AnyEncodable> parameters,
                                ParameterEncoderPtr encoder, std::optional<HTTPHeaders> headers,
                                RequestInterceptorPtr interceptor, RequestModifier requestModifier) {
    auto convertible = std::make_shared<const RequestEncodableConvertible>(
        std::move(url), std::move(method), std::move(parameters), std::move(encoder), std::move(headers),
        std::move(requestModifier));
    return request(URLRequestConvertiblePtr(convertible), std::move(interceptor));
}

DataRequestPtr Session::request(URLRequestConvertiblePtr convertible, RequestInterceptorPtr interceptor) {
    auto request = DataRequest::create(platform::UUID(), std::move(convertible), rootQueue, serializationQueue,
                                       eventMonitor, std::move(interceptor), weak_from_this());
    perform(request);
    return request;
}

DataStreamRequestPtr Session::streamRequest(URLConvertible url, HTTPMethod method, std::optional<HTTPHeaders> headers,
                                            bool automaticallyCancelOnStreamError, RequestInterceptorPtr interceptor,
                                            RequestModifier requestModifier) {
    // Without parameters the encoder leaves the request as the modifier made it.
    return streamRequest(std::move(url), std::move(method), std::nullopt, URLEncodedFormParameterEncoder::default_(),
                         std::move(headers), automaticallyCancelOnStreamError, std::move(interceptor),
                         std::move(requestModifier));
}

DataStreamRequestPtr Session::streamRequest(URLConvertible url, HTTPMethod method,
                                            std::optional<AnyEncodable> parameters, ParameterEncoderPtr encoder,
                                            std::optional<HTTPHeaders> headers, bool automaticallyCancelOnStreamError,
                                            RequestInterceptorPtr interceptor, RequestModifier requestModifier) {
    auto convertible = std::make_shared<const RequestEncodableConvertible>(
        std::move(url), std::move(method), std::move(parameters), std::move(encoder), std::move(headers),
        std::move(requestModifier));
    return streamRequest(URLRequestConvertiblePtr(convertible), automaticallyCancelOnStreamError,
                         std::move(interceptor));
}

DataStreamRequestPtr Session::streamRequest(URLRequestConvertiblePtr convertible, bool automaticallyCancelOnStreamError,
                                            RequestInterceptorPtr interceptor) {
    auto request =
        DataStreamRequest::create(platform::UUID(), std::move(convertible), automaticallyCancelOnStreamError, rootQueue,
                                  serializationQueue, eventMonitor, std::move(interceptor), weak_from_this());
    perform(request);
    return request;
}

DownloadRequestPtr Session::download(URLConvertible url, HTTPMethod method, std::optional<Parameters> parameters,
                                     AnyParameterEncoding encoding, std::optional<HTTPHeaders> headers,
                                     RequestInterceptorPtr interceptor, RequestModifier requestModifier,
                                     DownloadRequest::Destination to) {
    auto convertible =
        std::make_shared<const RequestConvertible>(std::move(url), std::move(method), std::move(parameters),
                                                   std::move(encoding), std::move(headers), std::move(requestModifier));
    return download(URLRequestConvertiblePtr(convertible), std::move(interceptor), std::move(to));
}

DownloadRequestPtr Session::download(URLConvertible url, HTTPMethod method, std::optional<AnyEncodable> parameters,
                                     ParameterEncoderPtr encoder, std::optional<HTTPHeaders> headers,
                                     RequestInterceptorPtr interceptor, RequestModifier requestModifier,
                                     DownloadRequest::Destination to) {
    auto convertible = std::make_shared<const RequestEncodableConvertible>(
        std::move(url), std::move(method), std::move(parameters), std::move(encoder), std::move(headers),
        std::move(requestModifier));
    return download(URLRequestConvertiblePtr(convertible), std::move(interceptor), std::move(to));
}

DownloadRequestPtr Session::download(URLRequestConvertiblePtr convertible, RequestInterceptorPtr interceptor,
                                     DownloadRequest::Destination to) {
    auto request = DownloadRequest::create(
        platform::UUID(), DownloadRequest::Downloadable::request(std::move(convertible)), rootQueue, serializationQueue,
        eventMonitor, std::move(interceptor), weak_from_this(), to ? std::move(to) : defaultDownloadDestination());
    perform(request);
    return request;
}

DownloadRequestPtr Session::download(const platform::Data& resumingWith, RequestInterceptorPtr interceptor,
                                     DownloadRequest::Destination to) {
    auto request = DownloadRequest::create(platform::UUID(), DownloadRequest::Downloadable::resumeData(resumingWith),
                                           rootQueue, serializationQueue, eventMonitor, std::move(interceptor),
                                           weak_from_this(), to ? std::move(to) : defaultDownloadDestination());
    perform(request);
    return request;
}

UploadRequestPtr Session::upload(const platform::Data& data, URLConvertible to, HTTPMethod method,
                                 std::optional<HTTPHeaders> headers, RequestInterceptorPtr interceptor,
                                 FileManagerPtr fileManager, RequestModifier requestModifier) {
    auto convertible = std::make_shared<const ParameterlessRequestConvertible>(
        std::move(to), std::move(method), std::move(headers), std::move(requestModifier));
    return upload(data, URLRequestConvertiblePtr(convertible), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(const platform::Data& data, URLRequestConvertiblePtr with,
                                 RequestInterceptorPtr interceptor, FileManagerPtr fileManager) {
    return upload(Uploadable::data(data), std::move(with), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(const platform::URL& fileURL, URLConvertible to, HTTPMethod method,
                                 std::optional<HTTPHeaders> headers, RequestInterceptorPtr interceptor,
                                 FileManagerPtr fileManager, RequestModifier requestModifier) {
    auto convertible = std::make_shared<const ParameterlessRequestConvertible>(
        std::move(to), std::move(method), std::move(headers), std::move(requestModifier));
    return upload(fileURL, URLRequestConvertiblePtr(convertible), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(const platform::URL& fileURL, URLRequestConvertiblePtr with,
                                 RequestInterceptorPtr interceptor, FileManagerPtr fileManager) {
    // A caller's file is never removed after the upload.
    return upload(Uploadable::file(fileURL, false), std::move(with), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(const platform::InputStreamPtr& stream, URLConvertible to, HTTPMethod method,
                                 std::optional<HTTPHeaders> headers, RequestInterceptorPtr interceptor,
                                 FileManagerPtr fileManager, RequestModifier requestModifier) {
    auto convertible = std::make_shared<const ParameterlessRequestConvertible>(
        std::move(to), std::move(method), std::move(headers), std::move(requestModifier));
    return upload(stream, URLRequestConvertiblePtr(convertible), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(const platform::InputStreamPtr& stream, URLRequestConvertiblePtr with,
                                 RequestInterceptorPtr interceptor, FileManagerPtr fileManager) {
    return upload(Uploadable::stream(stream), std::move(with), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(const MultipartFormBuilder& multipartFormData, URLConvertible to,
                                 std::uint64_t usingThreshold, HTTPMethod method, std::optional<HTTPHeaders> headers,
                                 RequestInterceptorPtr interceptor, FileManagerPtr fileManager,
                                 RequestModifier requestModifier) {
    auto form = std::make_shared<MultipartFormData>(fileManager);
    multipartFormData(*form);
    auto convertible = std::make_shared<const ParameterlessRequestConvertible>(
        std::move(to), std::move(method), std::move(headers), std::move(requestModifier));
    return upload(std::move(form), URLRequestConvertiblePtr(convertible), usingThreshold, std::move(interceptor),
                  std::move(fileManager));
}

UploadRequestPtr Session::upload(const MultipartFormBuilder& multipartFormData, URLRequestConvertiblePtr with,
                                 std::uint64_t usingThreshold, RequestInterceptorPtr interceptor,
                                 FileManagerPtr fileManager) {
    auto form = std::make_shared<MultipartFormData>(fileManager);
    multipartFormData(*form);
    return upload(std::move(form), std::move(with), usingThreshold, std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(MultipartFormDataPtr multipartFormData, URLConvertible to,
                                 std::uint64_t usingThreshold, HTTPMethod method, std::optional<HTTPHeaders> headers,
                                 RequestInterceptorPtr interceptor, FileManagerPtr fileManager,
                                 RequestModifier requestModifier) {
    auto convertible = std::make_shared<const ParameterlessRequestConvertible>(
        std::move(to), std::move(method), std::move(headers), std::move(requestModifier));
    auto multipart = std::make_shared<const MultipartUpload>(usingThreshold, URLRequestConvertiblePtr(convertible),
                                                             std::move(multipartFormData));
    return upload(UploadConvertiblePtr(multipart), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(MultipartFormDataPtr multipartFormData, URLRequestConvertiblePtr with,
                                 std::uint64_t usingThreshold, RequestInterceptorPtr interceptor,
                                 FileManagerPtr fileManager) {
    auto multipart =
        std::make_shared<const MultipartUpload>(usingThreshold, std::move(with), std::move(multipartFormData));
    return upload(UploadConvertiblePtr(multipart), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(const Uploadable& uploadable, URLRequestConvertiblePtr with,
                                 RequestInterceptorPtr interceptor, FileManagerPtr fileManager) {
    auto upload = std::make_shared<const Upload>(std::move(with), std::make_shared<const Uploadable>(uploadable));
    return this->upload(UploadConvertiblePtr(upload), std::move(interceptor), std::move(fileManager));
}

UploadRequestPtr Session::upload(UploadConvertiblePtr upload, RequestInterceptorPtr interceptor,
                                 FileManagerPtr fileManager) {
    auto request =
        UploadRequest::create(platform::UUID(), std::move(upload), rootQueue, serializationQueue, eventMonitor,
                              std::move(interceptor), std::move(fileManager), weak_from_this());
    perform(request);
    return request;
}

// ---- the pipeline ----

void Session::perform(const RequestPtr& request) {
    rootQueue->async([self = shared_from_this(), request] {
        if (request->isCancelled()) return;
        self->activeRequests_.insert(request);
        self->requestQueue->async([self, request] { request->performIn(*self); });
    });
}

void Session::performDataRequest(const DataRequestPtr& request) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    performSetupOperations(request, request->convertible, [] { return true; });
}

void Session::performDataStreamRequest(const DataStreamRequestPtr& request) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    performSetupOperations(request, request->convertible, [] { return true; });
}

void Session::performUploadRequest(const UploadRequestPtr& request) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    auto queue = rootQueue;
    performSetupOperations(request, request->upload, [request, queue] {
        try {
            Uploadable uploadable = request->upload->createUploadable();
            queue->async([request, uploadable] { request->didCreateUploadable(uploadable); });
            return true;
        } catch (...) {
            auto error = platform::errorFromCurrentException();
            HWError failure = asHWErrorOr(error, [&] { return HWError::createUploadableFailed(error); });
            queue->async([request, failure] { request->didFailToCreateUploadable(failure); });
            return false;
        }
    });
}

void Session::performDownloadRequest(const DownloadRequestPtr& request) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    if (auto source = request->downloadable.asRequest()) {
        performSetupOperations(request, source->convertible, [] { return true; });
        return;
    }
    auto data = request->downloadable.asResumeData()->resumeData;
    rootQueue->async([self = shared_from_this(), data, request] { self->didReceiveResumeData(data, request); });
}

namespace {
// A GET carrying a body, even an empty one, is refused before it is sent.
void checkNoBodyInGET(const URLRequest& request) {
    if (request.httpMethod() == "GET" && request.httpBody())
        HWError::urlRequestValidationFailed(
            URLRequestValidationFailureReason::bodyDataInGETRequest(*request.httpBody()))
            .raise();
}
}  // namespace

void Session::performSetupOperations(const RequestPtr& request, const URLRequestConvertiblePtr& convertible,
                                     std::function<bool()> shouldCreateTask) {
    PLATFORM_CHECK_ON_QUEUE(requestQueue);
    URLRequest initialRequest;
    try {
        initialRequest = convertible->asURLRequest();
        checkNoBodyInGET(initialRequest);
    } catch (...) {
        auto error = platform::errorFromCurrentException();
        HWError failure = asHWErrorOr(error, [&] { return HWError::createURLRequestFailed(error); });
        rootQueue->async([request, failure] { request->didFailToCreateURLRequest(failure); });
        return;
    }
    rootQueue->async([request, initialRequest] { request->didCreateInitialURLRequest(initialRequest); });
    if (request->isCancelled()) return;

    auto adapter = this->adapter(request);
    if (!adapter) {
        if (!shouldCreateTask()) return;
        rootQueue->async([self = shared_from_this(), request, initialRequest] {
            self->didCreateURLRequest(initialRequest, request);
        });
        return;
    }
    auto self = shared_from_this();
    adapter->adapt(
        initialRequest, RequestAdapterState{request->id, self},
        [self, request, initialRequest,
         shouldCreateTask = std::move(shouldCreateTask)](platform::Result<URLRequest> result) {
            URLRequest adapted;
            try {
                if (result.isFailure()) throw platform::ErrorException(result.error());
                adapted = result.value();
                checkNoBodyInGET(adapted);
            } catch (...) {
                // Always wrapped, so the caller can tell adaptation failures apart.
                auto failure = HWError::requestAdaptationFailed(platform::errorFromCurrentException());
                self->rootQueue->async(
                    [request, initialRequest, failure] { request->didFailToAdaptURLRequest(initialRequest, failure); });
                return;
            }
            self->rootQueue->async(
                [request, initialRequest, adapted] { request->didAdaptInitialRequest(initialRequest, adapted); });
            if (!shouldCreateTask()) return;
            self->rootQueue->async([self, request, adapted] { self->didCreateURLRequest(adapted, request); });
        });
}

void Session::didCreateURLRequest(const URLRequest& urlRequest, const RequestPtr& request) {
    PLATFORM_CHECK_ON_QUEUE(rootQueue);
    request->didCreateURLRequest(urlRequest);
    if (request->isCancelled()) return;
    auto task = request->task(urlRequest, session);
    requestTaskMap_.set(request, task);
    request->didCreateTask(task);
    updateStatesForTask(task, request);
}

void Session::didReceiveResumeData(const platform::Data& data, const DownloadRequestPtr& request) {
    PLATFORM_CHECK_ON_QUEUE(rootQueue);
    if (request->isCancelled()) return;
    auto task = request->task(data, session);
    requestTaskMap_.set(request, task);
    request->didCreateTask(task);
    updateStatesForTask(task, request);
}

void Session::updateStatesForTask(const platform::URLSessionTaskPtr& task, const RequestPtr& request) {
    PLATFORM_CHECK_ON_QUEUE(rootQueue);
    // Under the request's lock: a cancel from another thread either comes first (and is
    // matched here) or after (and finds the task to cancel), never between.
    request->withState([&](Request::State state) {
        switch (state) {
            case Request::State::initialized:
            case Request::State::finished: break;
            case Request::State::resumed:
                task->resume();
                rootQueue->async([request, task] { request->didResumeTask(task); });
                break;
            case Request::State::suspended:
                task->suspend();
                rootQueue->async([request, task] { request->didSuspendTask(task); });
                break;
            case Request::State::cancelled:
                // Resumed first so that the platform gathers metrics for it.
                task->resume();
                task->cancel();
                rootQueue->async([request, task] { request->didCancelTask(task); });
                break;
        }
    });
}

}  // namespace Hawser
