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

// ---- data and download requests ----

template <ResponseKindRequest R, class Value>
using KindPublisher = detail::ResponsePublisher<KindOf<R>, Value>;

template <ResponseKindRequest R, SerializerFor<KindOf<R>> S>
KindPublisher<R, typename S::SerializedObject> publishResponse(const std::shared_ptr<R>& request, S serializer,
                                                               DispatchQueuePtr queue = defaultPublisherQueue()) {
    return {request, std::move(queue), std::move(serializer)};
}
// A download's file is read whole by the serializer.
template <ResponseKindRequest R>
KindPublisher<R, platform::Data>
publishData(const std::shared_ptr<R>& request, DispatchQueuePtr queue = defaultPublisherQueue(),
            DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
            std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
            std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return publishResponse(
        request,
        DataResponseSerializer(std::move(preprocessor), std::move(emptyResponseCodes), std::move(emptyRequestMethods)),
        std::move(queue));
}
template <ResponseKindRequest R>
KindPublisher<R, std::string>
publishString(const std::shared_ptr<R>& request, DispatchQueuePtr queue = defaultPublisherQueue(),
              DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
              std::optional<platform::StringEncoding> encoding = std::nullopt,
              std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
              std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return publishResponse(request,
                           StringResponseSerializer(std::move(preprocessor), std::move(encoding),
                                                    std::move(emptyResponseCodes), std::move(emptyRequestMethods)),
                           std::move(queue));
}
template <class T, class Decoder = platform::JSONDecoder, ResponseKindRequest R>
KindPublisher<R, T>
publishDecodable(const std::shared_ptr<R>& request, DispatchQueuePtr queue = defaultPublisherQueue(),
                 DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
                 Decoder decoder = Decoder(),
                 std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
                 std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return publishResponse(request,
                           DecodableResponseSerializer<T, Decoder>(std::move(preprocessor), std::move(decoder),
                                                                   std::move(emptyResponseCodes),
                                                                   std::move(emptyRequestMethods)),
                           std::move(queue));
}
// What the request read, unserialized: the raw body or the file URL, if any.
template <ResponseKindRequest R>
KindPublisher<R, typename KindOf<R>::Received> publishUnserialized(const std::shared_ptr<R>& request,
                                                                   DispatchQueuePtr queue = defaultPublisherQueue()) {
    return {request, std::move(queue)};
}
// The downloaded file's URL; a missing one fails as the URL handler reports it.
DownloadResponsePublisher<platform::URL> publishURL(const DownloadRequestPtr& request,
                                                    DispatchQueuePtr queue = defaultPublisherQueue());

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
DataStreamPublisher<T>
publishDecodable(const DataStreamRequestPtr& request, DispatchQueuePtr queue = defaultPublisherQueue(),
                 Decoder decoder = Decoder(),
                 DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor()) {
    return publishStream(request, DecodableStreamSerializer<T, Decoder>{std::move(decoder), std::move(preprocessor)},
                         std::move(queue));
}

}  // namespace Hawser
