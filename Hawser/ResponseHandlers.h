// How callers receive the outcome of a data or download request: each handler appends
// one serializer step to the request and returns the request. Serializing runs on the
// serialization queue, the response is built on the request's queue, a serialization
// failure is first offered to the session for a retry, and the completion runs on the
// caller's queue after every handler of the request has serialized, in attach order.
// A null queue means the main queue. One template per handler serves both kinds: the
// kind comes from the request's class (RequestKinds.h).
#pragma once
#include <chrono>
#include <functional>
#include <optional>
#include <set>

#include "Hawser/RequestKinds.h"
#include "Hawser/ResponseSerialization.h"

namespace Hawser {

namespace response_handling {
// Monotonic seconds, for serialization durations.
double systemUptime();
// The request's error as a general error, or null.
ErrorPtr requestError(const Request& request);
// The failure of a serializer call: an HWError as it is, anything else wrapped as a
// custom serialization failure.
HWError serializationError(const ErrorPtr& thrown);
// Runs on the request's queue once the response is built: completes at once when the
// request is cancelled, the result is a success or the session is gone; otherwise asks
// the session and retries, completes, or completes with the retrier's error.
void completeOrRetry(const RequestPtr& request, const std::optional<HWError>& failure, std::function<void()> complete,
                     std::function<void(const HWError&)> completeWithError);
// Registers the caller's delivery with the request; it runs on `queue` (null: main).
void deliverLater(const RequestPtr& request, const DispatchQueuePtr& queue, std::function<void()> delivery);
// The built response goes to the caller through completeOrRetry; when the retrier
// answers with an error, `build` makes the response again with that error.
template <class Value, class Handler, class Response, class Build>
void deliverOrRetry(const RequestPtr& request, const DispatchQueuePtr& queue, const Handler& completionHandler,
                    const std::optional<HWError>& failure, const Response& built, const Build& build) {
    completeOrRetry(
        request, failure,
        [request, queue, completionHandler, built] {
            deliverLater(request, queue, [completionHandler, built] { completionHandler(built); });
        },
        [request, queue, completionHandler, build](const HWError& error) {
            auto reread = build(platform::Result<Value, HWError>::failure(error));
            deliverLater(request, queue, [completionHandler, reread] { completionHandler(reread); });
        });
}

template <class Value, class Serialize>
platform::Result<Value, HWError> serializeCatching(Serialize&& serialize) {
    try {
        return platform::Result<Value, HWError>::success(serialize());
    } catch (...) {
        return platform::Result<Value, HWError>::failure(serializationError(platform::errorFromCurrentException()));
    }
}

// The serializer step of a request of `Kind`. A class, so that the forms in common use
// are instantiated once, in ResponseHandlers.cpp.
template <class Kind, class S>
struct SerializerStep {
    using Value = typename S::SerializedObject;
    static void append(const typename Kind::RequestPtr& request, DispatchQueuePtr queue, S serializer,
                       ResponseHandler<Kind, Value> completionHandler);
};

template <class Kind, class S>
void SerializerStep<Kind, S>::append(const typename Kind::RequestPtr& request, DispatchQueuePtr queue, S serializer,
                                     ResponseHandler<Kind, Value> completionHandler) {
    request->appendResponseSerializer([request, queue = std::move(queue), serializer = std::move(serializer),
                                       completionHandler = std::move(completionHandler)] {
        const double start = systemUptime();
        auto result = serializeCatching<Value>([&]() -> Value {
            auto urlRequest = request->lastRequest();
            auto httpResponse = request->response();
            auto received = Kind::received(*request);
            return Kind::serialize(serializer, urlRequest, httpResponse, received, requestError(*request));
        });
        const double duration = systemUptime() - start;
        request->underlyingQueue->async([request, queue, completionHandler, result, duration] {
            auto build = [request, duration](platform::Result<Value, HWError> r) {
                return typename Kind::template Response<Value>(request->lastRequest(), request->response(),
                                                               Kind::fields(*request), request->lastMetrics(), duration,
                                                               std::move(r));
            };
            auto built = build(result);
            if (request->eventMonitor) Kind::didParseValue(*request->eventMonitor, request, eraseType(built));
            deliverOrRetry<Value>(request, queue, completionHandler, result.failureValue(), built, build);
        });
    });
}

extern template struct SerializerStep<DataKind, DataResponseSerializer>;
extern template struct SerializerStep<DataKind, StringResponseSerializer>;
extern template struct SerializerStep<DataKind, JSONResponseSerializer>;
extern template struct SerializerStep<DownloadKind, DataResponseSerializer>;
extern template struct SerializerStep<DownloadKind, StringResponseSerializer>;
extern template struct SerializerStep<DownloadKind, JSONResponseSerializer>;
extern template struct SerializerStep<DownloadKind, URLResponseSerializer>;

// The unserialized step: what the request read (Kind::Received), or its error.
// Instantiated for both kinds in ResponseHandlers.cpp.
template <class Kind>
void appendUnserialized(const typename Kind::RequestPtr& request, DispatchQueuePtr queue,
                        ResponseHandler<Kind, typename Kind::Received> completionHandler);
}  // namespace response_handling

template <ResponseKindRequest R>
using KindRequestPtr = typename KindOf<R>::RequestPtr;

// Unserialized: the received bytes or the file URL (maybe none), or the request's error.
template <ResponseKindRequest R>
KindRequestPtr<R> response(const std::shared_ptr<R>& request, DispatchQueuePtr queue,
                           ResponseHandler<KindOf<R>, typename KindOf<R>::Received> completionHandler) {
    response_handling::appendUnserialized<KindOf<R>>(request, std::move(queue), std::move(completionHandler));
    return request;
}

// Any serializer that reads what the request's kind reads.
template <ResponseKindRequest R, SerializerFor<KindOf<R>> S>
KindRequestPtr<R> response(const std::shared_ptr<R>& request, DispatchQueuePtr queue, S responseSerializer,
                           ResponseHandler<KindOf<R>, typename S::SerializedObject> completionHandler) {
    response_handling::SerializerStep<KindOf<R>, S>::append(request, std::move(queue), std::move(responseSerializer),
                                                            std::move(completionHandler));
    return request;
}

// A download's file is read whole before these serialize it.
template <ResponseKindRequest R>
KindRequestPtr<R>
responseData(const std::shared_ptr<R>& request, DispatchQueuePtr queue,
             ResponseHandler<KindOf<R>, platform::Data> completionHandler,
             DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
             std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
             std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return response(request, std::move(queue),
                    DataResponseSerializer(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                           std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

template <ResponseKindRequest R>
KindRequestPtr<R>
responseString(const std::shared_ptr<R>& request, DispatchQueuePtr queue,
               ResponseHandler<KindOf<R>, std::string> completionHandler,
               DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
               std::optional<platform::StringEncoding> encoding = std::nullopt,
               std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
               std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return response(request, std::move(queue),
                    StringResponseSerializer(std::move(dataPreprocessor), std::move(encoding),
                                             std::move(emptyResponseCodes), std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

template <ResponseKindRequest R>
KindRequestPtr<R>
responseJSON(const std::shared_ptr<R>& request, DispatchQueuePtr queue,
             ResponseHandler<KindOf<R>, platform::Value> completionHandler,
             DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
             std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
             std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods(),
             platform::JSONReadingOptions options = platform::JSONReadingOptions::fragmentsAllowed) {
    return response(request, std::move(queue),
                    JSONResponseSerializer(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                           std::move(emptyRequestMethods), options),
                    std::move(completionHandler));
}

template <class T, class Decoder = platform::JSONDecoder, ResponseKindRequest R>
KindRequestPtr<R> responseDecodable(
    const std::shared_ptr<R>& request, DispatchQueuePtr queue, ResponseHandler<KindOf<R>, T> completionHandler,
    DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
    Decoder decoder = Decoder(), std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return response(request, std::move(queue),
                    DecodableResponseSerializer<T, Decoder>(std::move(dataPreprocessor), std::move(decoder),
                                                            std::move(emptyResponseCodes),
                                                            std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

}  // namespace Hawser
