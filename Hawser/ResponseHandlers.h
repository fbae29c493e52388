// How callers receive the outcome of a data request: each handler appends one
// serializer step to the request and returns the request. Serializing runs on the
// serialization queue, the response is built on the request's queue, a serialization
// failure is first offered to the session for a retry, and the completion runs on the
// caller's queue after every handler of the request has serialized, in attach order.
// A null queue means the main queue.
#pragma once
#include <chrono>
#include <functional>
#include <optional>
#include <set>

#include "Hawser/DataRequest.h"
#include "Hawser/ResponseSerialization.h"

namespace Hawser {

template <class Value>
using DataResponseHandler = std::function<void(const DataResponse<Value, HWError>&)>;

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
void completeOrRetry(const RequestPtr& request, const std::optional<HWError>& failure,
                     std::function<void()> complete, std::function<void(const HWError&)> completeWithError);
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
}  // namespace response_handling

// Unserialized: the received bytes (maybe none), or the request's error.
DataRequestPtr response(const DataRequestPtr& request, DispatchQueuePtr queue,
                        DataResponseHandler<std::optional<platform::Data>> completionHandler);

// Any data serializer.
template <DataResponseSerializerProtocol S>
DataRequestPtr response(const DataRequestPtr& request, DispatchQueuePtr queue, S responseSerializer,
                        DataResponseHandler<typename S::SerializedObject> completionHandler) {
    using Value = typename S::SerializedObject;
    namespace rh = response_handling;
    request->appendResponseSerializer([request, queue, serializer = std::move(responseSerializer),
                                       completionHandler = std::move(completionHandler)] {
        const double start = rh::systemUptime();
        auto result = rh::serializeCatching<Value>([&] {
            auto urlRequest = request->lastRequest();
            auto httpResponse = request->response();
            auto data = request->data();
            return serializer.serialize(urlRequest, httpResponse, data, rh::requestError(*request));
        });
        const double duration = rh::systemUptime() - start;
        request->underlyingQueue->async([request, queue, completionHandler, result, duration] {
            auto build = [request, duration](platform::Result<Value, HWError> r) {
                return DataResponse<Value, HWError>(request->lastRequest(), request->response(), request->data(),
                                                    request->lastMetrics(), duration, std::move(r));
            };
            auto built = build(result);
            if (request->eventMonitor) request->eventMonitor->requestDidParseResponseOfValue(request, eraseType(built));
            rh::deliverOrRetry<Value>(request, queue, completionHandler, result.failureValue(), built, build);
        });
    });
    return request;
}

DataRequestPtr responseData(const DataRequestPtr& request, DispatchQueuePtr queue,
                            DataResponseHandler<platform::Data> completionHandler,
                            DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
                            std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
                            std::set<HTTPMethod> emptyRequestMethods =
                                ResponseSerializerBase::defaultEmptyRequestMethods());
DataRequestPtr responseString(const DataRequestPtr& request, DispatchQueuePtr queue,
                              DataResponseHandler<std::string> completionHandler,
                              DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
                              std::optional<platform::StringEncoding> encoding = std::nullopt,
                              std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
                              std::set<HTTPMethod> emptyRequestMethods =
                                  ResponseSerializerBase::defaultEmptyRequestMethods());
DataRequestPtr responseJSON(const DataRequestPtr& request, DispatchQueuePtr queue,
                            DataResponseHandler<platform::Value> completionHandler,
                            DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
                            std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
                            std::set<HTTPMethod> emptyRequestMethods =
                                ResponseSerializerBase::defaultEmptyRequestMethods(),
                            platform::JSONReadingOptions options = platform::JSONReadingOptions::fragmentsAllowed);

template <class T, class Decoder = platform::JSONDecoder>
DataRequestPtr responseDecodable(const DataRequestPtr& request, DispatchQueuePtr queue,
                                 DataResponseHandler<T> completionHandler,
                                 DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
                                 Decoder decoder = Decoder(),
                                 std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
                                 std::set<HTTPMethod> emptyRequestMethods =
                                     ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return response(request, std::move(queue),
                    DecodableResponseSerializer<T, Decoder>(std::move(dataPreprocessor), std::move(decoder),
                                                            std::move(emptyResponseCodes),
                                                            std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

}  // namespace Hawser
