// The publisher factories whose value types are fixed.
#include "Hawser/PublisherFactories.h"

namespace Hawser {

namespace {

// A stream event that cannot fail, typed as one that could.
template <class T>
DataStreamRequest::Stream<T, HWError> widened(const DataStreamRequest::Stream<T, Infallible>& event) {
    if (auto value = event.value()) {
        return {platform::Result<T, HWError>::success(std::move(*value)), event.token};
    }
    return {*event.completion(), event.token};
}

}  // namespace

DataResponsePublisher<platform::Data> publishData(const DataRequestPtr& request, DispatchQueuePtr queue,
                                                  DataPreprocessorPtr preprocessor, std::set<int> emptyResponseCodes,
                                                  std::set<HTTPMethod> emptyRequestMethods) {
    return publishResponse(request,
                           DataResponseSerializer(std::move(preprocessor), std::move(emptyResponseCodes),
                                                  std::move(emptyRequestMethods)),
                           std::move(queue));
}

DataResponsePublisher<std::string> publishString(const DataRequestPtr& request, DispatchQueuePtr queue,
                                                 DataPreprocessorPtr preprocessor,
                                                 std::optional<platform::StringEncoding> encoding,
                                                 std::set<int> emptyResponseCodes,
                                                 std::set<HTTPMethod> emptyRequestMethods) {
    return publishResponse(request,
                           StringResponseSerializer(std::move(preprocessor), std::move(encoding),
                                                    std::move(emptyResponseCodes), std::move(emptyRequestMethods)),
                           std::move(queue));
}

DataResponsePublisher<std::optional<platform::Data>> publishUnserialized(const DataRequestPtr& request,
                                                                         DispatchQueuePtr queue) {
    return {request, std::move(queue)};
}

DownloadResponsePublisher<platform::Data> publishData(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                                      DataPreprocessorPtr preprocessor,
                                                      std::set<int> emptyResponseCodes,
                                                      std::set<HTTPMethod> emptyRequestMethods) {
    return publishResponse(request,
                           DataResponseSerializer(std::move(preprocessor), std::move(emptyResponseCodes),
                                                  std::move(emptyRequestMethods)),
                           std::move(queue));
}

DownloadResponsePublisher<std::string> publishString(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                                                     DataPreprocessorPtr preprocessor,
                                                     std::optional<platform::StringEncoding> encoding,
                                                     std::set<int> emptyResponseCodes,
                                                     std::set<HTTPMethod> emptyRequestMethods) {
    return publishResponse(request,
                           StringResponseSerializer(std::move(preprocessor), std::move(encoding),
                                                    std::move(emptyResponseCodes), std::move(emptyRequestMethods)),
                           std::move(queue));
}

DownloadResponsePublisher<platform::URL> publishURL(const DownloadRequestPtr& request, DispatchQueuePtr queue) {
    return {request, [request, queue](DownloadResponseHandler<platform::URL> completion) {
                return responseURL(request, queue, std::move(completion));
            }};
}

DownloadResponsePublisher<std::optional<platform::URL>> publishUnserialized(const DownloadRequestPtr& request,
                                                                            DispatchQueuePtr queue) {
    return {request, std::move(queue)};
}

DataStreamPublisher<platform::Data> publishData(const DataStreamRequestPtr& request, DispatchQueuePtr queue) {
    return {request, [request, queue](DataStreamRequest::Handler<platform::Data, HWError> stream) {
                return responseStream(request, queue,
                                      [stream](const DataStreamRequest::Stream<platform::Data, Infallible>& event) {
                                          stream(widened(event));
                                      });
            }};
}

DataStreamPublisher<std::string> publishString(const DataStreamRequestPtr& request, DispatchQueuePtr queue) {
    return {request, [request, queue](DataStreamRequest::Handler<std::string, HWError> stream) {
                return responseStreamString(request, queue,
                                            [stream](const DataStreamRequest::Stream<std::string, Infallible>& event) {
                                                stream(widened(event));
                                            });
            }};
}

}  // namespace Hawser
