// The non-generic parts of the response handlers: timing, error conversion, the retry
// question after a failed serialization, the unserialized handlers and the ready-made
// serializer forms.
#include "Hawser/ResponseHandlers.h"

#include "Hawser/DownloadResponseHandlers.h"

namespace Hawser {

namespace response_handling {

double systemUptime() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ErrorPtr requestError(const Request& request) {
    auto error = request.error();
    return error ? error->shared() : nullptr;
}

HWError serializationError(const ErrorPtr& thrown) {
    return asHWErrorOr(thrown, [&] {
        return HWError::responseSerializationFailed(ResponseSerializationFailureReason::CustomSerializationFailed{thrown});
    });
}

void completeOrRetry(const RequestPtr& request, const std::optional<HWError>& failure, std::function<void()> complete,
                     std::function<void(const HWError&)> completeWithError) {
    auto delegate = request->delegate();
    if (request->isCancelled() || !failure || !delegate) return complete();
    delegate->retryResult(request, *failure,
                          [request, delegate, complete = std::move(complete),
                           completeWithError = std::move(completeWithError)](RetryResult answer) {
                              switch (answer.index()) {
                                  case 0: delegate->retryRequest(request, std::nullopt); break;
                                  case 1: delegate->retryRequest(request, answer.delay()); break;
                                  case 2: complete(); break;
                                  default:
                                      completeWithError(asHWErrorOrFailWith(answer.error(), [] {
                                          return std::string("Received retryError was not already HWError");
                                      }));
                              }
                          });
}

void deliverLater(const RequestPtr& request, const DispatchQueuePtr& queue, std::function<void()> delivery) {
    auto target = queue ? queue : platform::DispatchQueue::main();
    request->responseSerializerDidComplete([target, delivery = std::move(delivery)] { target->async(delivery); });
}

}  // namespace response_handling

namespace rh = response_handling;

DataRequestPtr response(const DataRequestPtr& request, DispatchQueuePtr queue,
                        DataResponseHandler<std::optional<platform::Data>> completionHandler) {
    using Value = std::optional<platform::Data>;
    request->appendResponseSerializer([request, queue = std::move(queue),
                                       completionHandler = std::move(completionHandler)] {
        auto data = request->data();
        auto error = request->error();
        auto result = error ? platform::Result<Value, HWError>::failure(*error)
                            : platform::Result<Value, HWError>::success(data);
        request->underlyingQueue->async([request, queue, completionHandler, result] {
            DataResponse<Value, HWError> built(request->lastRequest(), request->response(), request->data(),
                                               request->lastMetrics(), 0, result);
            if (request->eventMonitor) request->eventMonitor->requestDidParseResponse(request, built);
            rh::deliverLater(request, queue, [completionHandler, built] { completionHandler(built); });
        });
    });
    return request;
}

DownloadRequestPtr response(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                            DownloadResponseHandler<std::optional<platform::URL>> completionHandler) {
    using Value = std::optional<platform::URL>;
    request->appendResponseSerializer([request, queue = std::move(queue),
                                       completionHandler = std::move(completionHandler)] {
        auto fileURL = request->fileURL();
        auto error = request->error();
        auto result = error ? platform::Result<Value, HWError>::failure(*error)
                            : platform::Result<Value, HWError>::success(fileURL);
        request->underlyingQueue->async([request, queue, completionHandler, result] {
            DownloadResponse<Value, HWError> built(request->lastRequest(), request->response(), request->fileURL(),
                                                   request->resumeData(), request->lastMetrics(), 0, result);
            if (request->eventMonitor) request->eventMonitor->requestDidParseDownloadResponse(request, built);
            rh::deliverLater(request, queue, [completionHandler, built] { completionHandler(built); });
        });
    });
    return request;
}

DataRequestPtr responseData(const DataRequestPtr& request, DispatchQueuePtr queue,
                            DataResponseHandler<platform::Data> completionHandler, DataPreprocessorPtr dataPreprocessor,
                            std::set<int> emptyResponseCodes, std::set<HTTPMethod> emptyRequestMethods) {
    return response(request, std::move(queue),
                    DataResponseSerializer(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                           std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

DataRequestPtr responseString(const DataRequestPtr& request, DispatchQueuePtr queue,
                              DataResponseHandler<std::string> completionHandler, DataPreprocessorPtr dataPreprocessor,
                              std::optional<platform::StringEncoding> encoding, std::set<int> emptyResponseCodes,
                              std::set<HTTPMethod> emptyRequestMethods) {
    return response(request, std::move(queue),
                    StringResponseSerializer(std::move(dataPreprocessor), std::move(encoding),
                                             std::move(emptyResponseCodes), std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

DataRequestPtr responseJSON(const DataRequestPtr& request, DispatchQueuePtr queue,
                            DataResponseHandler<platform::Value> completionHandler,
                            DataPreprocessorPtr dataPreprocessor, std::set<int> emptyResponseCodes,
                            std::set<HTTPMethod> emptyRequestMethods, platform::JSONReadingOptions options) {
    return response(request, std::move(queue),
                    JSONResponseSerializer(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                           std::move(emptyRequestMethods), options),
                    std::move(completionHandler));
}

DownloadRequestPtr responseURL(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                               DownloadResponseHandler<platform::URL> completionHandler) {
    return response(request, std::move(queue), URLResponseSerializer(), std::move(completionHandler));
}

DownloadRequestPtr responseData(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                DownloadResponseHandler<platform::Data> completionHandler,
                                DataPreprocessorPtr dataPreprocessor, std::set<int> emptyResponseCodes,
                                std::set<HTTPMethod> emptyRequestMethods) {
    return response(request, std::move(queue),
                    DataResponseSerializer(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                           std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

DownloadRequestPtr responseString(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                  DownloadResponseHandler<std::string> completionHandler,
                                  DataPreprocessorPtr dataPreprocessor,
                                  std::optional<platform::StringEncoding> encoding, std::set<int> emptyResponseCodes,
                                  std::set<HTTPMethod> emptyRequestMethods) {
    return response(request, std::move(queue),
                    StringResponseSerializer(std::move(dataPreprocessor), std::move(encoding),
                                             std::move(emptyResponseCodes), std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

DownloadRequestPtr responseJSON(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                DownloadResponseHandler<platform::Value> completionHandler,
                                DataPreprocessorPtr dataPreprocessor, std::set<int> emptyResponseCodes,
                                std::set<HTTPMethod> emptyRequestMethods, platform::JSONReadingOptions options) {
    return response(request, std::move(queue),
                    JSONResponseSerializer(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                           std::move(emptyRequestMethods), options),
                    std::move(completionHandler));
}

}  // namespace Hawser
