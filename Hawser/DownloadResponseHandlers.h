// How callers receive the outcome of a download: the same machinery as the data
// handlers, serializing the downloaded file (or just its URL) and delivering a
// DownloadResponse that also carries the file URL and any resume data.
#pragma once
#include <functional>
#include <optional>
#include <set>

#include "Hawser/DownloadRequest.h"
#include "Hawser/ResponseHandlers.h"

namespace Hawser {

template <class Value>
using DownloadResponseHandler = std::function<void(const DownloadResponse<Value, HWError>&)>;

// Unserialized: the file URL (maybe none), or the request's error.
DownloadRequestPtr response(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                            DownloadResponseHandler<std::optional<platform::URL>> completionHandler);

// Any download serializer.
template <DownloadResponseSerializerProtocol S>
DownloadRequestPtr response(const DownloadRequestPtr& request, DispatchQueuePtr queue, S responseSerializer,
                            DownloadResponseHandler<typename S::SerializedObject> completionHandler) {
    using Value = typename S::SerializedObject;
    namespace rh = response_handling;
    request->appendResponseSerializer([request, queue, serializer = std::move(responseSerializer),
                                       completionHandler = std::move(completionHandler)] {
        const double start = rh::systemUptime();
        auto result = rh::serializeCatching<Value>([&] {
            auto urlRequest = request->lastRequest();
            auto httpResponse = request->response();
            auto fileURL = request->fileURL();
            return serializer.serializeDownload(urlRequest, httpResponse, fileURL, rh::requestError(*request));
        });
        const double duration = rh::systemUptime() - start;
        request->underlyingQueue->async([request, queue, completionHandler, result, duration] {
            auto build = [request, duration](platform::Result<Value, HWError> r) {
                return DownloadResponse<Value, HWError>(request->lastRequest(), request->response(),
                                                        request->fileURL(), request->resumeData(),
                                                        request->lastMetrics(), duration, std::move(r));
            };
            auto built = build(result);
            if (request->eventMonitor)
                request->eventMonitor->requestDidParseDownloadResponseOfValue(request, eraseType(built));
            rh::deliverOrRetry<Value>(request, queue, completionHandler, result.failureValue(), built, build);
        });
    });
    return request;
}

// The downloaded file's URL; the file is not opened.
DownloadRequestPtr responseURL(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                               DownloadResponseHandler<platform::URL> completionHandler);
DownloadRequestPtr responseData(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                DownloadResponseHandler<platform::Data> completionHandler,
                                DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
                                std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
                                std::set<HTTPMethod> emptyRequestMethods =
                                    ResponseSerializerBase::defaultEmptyRequestMethods());
DownloadRequestPtr responseString(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                  DownloadResponseHandler<std::string> completionHandler,
                                  DataPreprocessorPtr dataPreprocessor =
                                      ResponseSerializerBase::defaultDataPreprocessor(),
                                  std::optional<platform::StringEncoding> encoding = std::nullopt,
                                  std::set<int> emptyResponseCodes =
                                      ResponseSerializerBase::defaultEmptyResponseCodes(),
                                  std::set<HTTPMethod> emptyRequestMethods =
                                      ResponseSerializerBase::defaultEmptyRequestMethods());
DownloadRequestPtr responseJSON(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                DownloadResponseHandler<platform::Value> completionHandler,
                                DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
                                std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
                                std::set<HTTPMethod> emptyRequestMethods =
                                    ResponseSerializerBase::defaultEmptyRequestMethods(),
                                platform::JSONReadingOptions options = platform::JSONReadingOptions::fragmentsAllowed);

template <class T, class Decoder = platform::JSONDecoder>
DownloadRequestPtr responseDecodable(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                     DownloadResponseHandler<T> completionHandler,
                                     DataPreprocessorPtr dataPreprocessor =
                                         ResponseSerializerBase::defaultDataPreprocessor(),
                                     Decoder decoder = Decoder(),
                                     std::set<int> emptyResponseCodes =
                                         ResponseSerializerBase::defaultEmptyResponseCodes(),
                                     std::set<HTTPMethod> emptyRequestMethods =
                                         ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return response(request, std::move(queue),
                    DecodableResponseSerializer<T, Decoder>(std::move(dataPreprocessor), std::move(decoder),
                                                            std::move(emptyResponseCodes),
                                                            std::move(emptyRequestMethods)),
                    std::move(completionHandler));
}

}  // namespace Hawser
