// Publishers made from requests with a ready-made serializer. A factory only builds the
// publisher: it registers nothing and does not resume the request; the subscriber's
// first demand does. Values arrive on `queue` (the main queue by default).
#pragma once
#include <optional>
#include <set>
#include <string>

#include "Hawser/ResponsePublishers.h"

namespace Hawser {

inline const DispatchQueuePtr& defaultPublisherQueue() { return platform::DispatchQueue::main(); }

// ---- data requests ----

template <DataResponseSerializerProtocol S>
DataResponsePublisher<typename S::SerializedObject> publishResponse(const DataRequestPtr& request, S serializer,
                                                                    DispatchQueuePtr queue = defaultPublisherQueue()) {
    return {request, std::move(queue), std::move(serializer)};
}
DataResponsePublisher<platform::Data> publishData(
    const DataRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue(),
    DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
    std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods());
DataResponsePublisher<std::string> publishString(
    const DataRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue(),
    DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
    std::optional<platform::StringEncoding> encoding = std::nullopt,
    std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods());
template <class T, class Decoder = platform::JSONDecoder>
DataResponsePublisher<T> publishDecodable(
    const DataRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue(),
    DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(), Decoder decoder = Decoder(),
    std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return publishResponse(request,
                           DecodableResponseSerializer<T, Decoder>(std::move(preprocessor), std::move(decoder),
                                                                   std::move(emptyResponseCodes),
                                                                   std::move(emptyRequestMethods)),
                           std::move(queue));
}
// The raw body, if any.
DataResponsePublisher<std::optional<platform::Data>> publishUnserialized(
    const DataRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue());

// ---- download requests ----

template <DownloadResponseSerializerProtocol S>
DownloadResponsePublisher<typename S::SerializedObject> publishResponse(
    const DownloadRequestPtr& request, S serializer, DispatchQueuePtr queue = defaultPublisherQueue()) {
    return {request, std::move(queue), std::move(serializer)};
}
// The downloaded file read whole by the serializer.
DownloadResponsePublisher<platform::Data> publishData(
    const DownloadRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue(),
    DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
    std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods());
DownloadResponsePublisher<std::string> publishString(
    const DownloadRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue(),
    DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
    std::optional<platform::StringEncoding> encoding = std::nullopt,
    std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods());
template <class T, class Decoder = platform::JSONDecoder>
DownloadResponsePublisher<T> publishDecodable(
    const DownloadRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue(),
    DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(), Decoder decoder = Decoder(),
    std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return publishResponse(request,
                           DecodableResponseSerializer<T, Decoder>(std::move(preprocessor), std::move(decoder),
                                                                   std::move(emptyResponseCodes),
                                                                   std::move(emptyRequestMethods)),
                           std::move(queue));
}
// The downloaded file's URL; a missing one fails as the URL handler reports it.
DownloadResponsePublisher<platform::URL> publishURL(const DownloadRequestPtr& request,
                                                    DispatchQueuePtr queue = defaultPublisherQueue());
// The file URL, if any, unserialized.
DownloadResponsePublisher<std::optional<platform::URL>> publishUnserialized(
    const DownloadRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue());

// ---- stream requests ----

template <DataStreamSerializer S>
DataStreamPublisher<typename S::SerializedObject> publishStream(const DataStreamRequestPtr& request, S serializer,
                                                                DispatchQueuePtr queue = defaultPublisherQueue()) {
    return {request, std::move(queue), std::move(serializer)};
}
// Each chunk unchanged.
DataStreamPublisher<platform::Data> publishData(const DataStreamRequestPtr& request,
                                                DispatchQueuePtr queue = defaultPublisherQueue());
// Each chunk as UTF-8 text, malformed bytes as U+FFFD: a chunk never fails to decode.
DataStreamPublisher<std::string> publishString(const DataStreamRequestPtr& request,
                                               DispatchQueuePtr queue = defaultPublisherQueue());
// One decoded value per chunk.
template <class T, class Decoder = platform::JSONDecoder>
DataStreamPublisher<T> publishDecodable(const DataStreamRequestPtr& request,
                                        DispatchQueuePtr queue = defaultPublisherQueue(), Decoder decoder = Decoder(),
                                        DataPreprocessorPtr preprocessor =
                                            ResponseSerializerBase::defaultDataPreprocessor()) {
    return publishStream(request, DecodableStreamSerializer<T, Decoder>{std::move(decoder), std::move(preprocessor)},
                         std::move(queue));
}

}  // namespace Hawser
