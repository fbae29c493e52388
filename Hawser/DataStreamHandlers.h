// Subscribing to a stream request's body chunk by chunk: each handler gets every chunk
// received after it was attached, in order on its queue (the main queue when it names
// none), then one completion event that waits until every chunk delivery already handed
// out has ended.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "Hawser/DataStreamRequest.h"
#include "Hawser/ResponseSerialization.h"
#include "platform/dispatch/DispatchQueue.h"

namespace Hawser {

// The failure type of handlers whose chunks cannot fail; it has no values.
struct Infallible {
    Infallible() = delete;
};

namespace stream_handlers {
// Runs `call` (the stream closure for one event) on `queue`. A throw becomes the
// request's error and cancels it; either way the delivery then counts as ended.
void deliver(const DataStreamRequestPtr& request, const DispatchQueuePtr& queue, std::function<void()> call);
// A serializer's or stream closure's failure as the request records it.
HWError asStreamError(const platform::ErrorPtr& error);
// Appends a chunk parser to the request's stream state.
void appendParser(const DataStreamRequestPtr& request, std::function<void(const platform::Data&)> parser);
// Tells the event monitor about one parsed chunk.
void reportParsed(const DataStreamRequestPtr& request, const AnyResult& result);
}  // namespace stream_handlers

// Raw chunks, straight from the underlying queue to `queue`.
DataStreamRequestPtr responseStream(const DataStreamRequestPtr& request, DispatchQueuePtr queue,
                                    DataStreamRequest::Handler<platform::Data, Infallible> stream);
// Each chunk decoded as UTF-8 on its own (malformed bytes become U+FFFD).
DataStreamRequestPtr responseStreamString(const DataStreamRequestPtr& request, DispatchQueuePtr queue,
                                          DataStreamRequest::Handler<std::string, Infallible> stream);

// Each chunk through `serializer` on the serialization queue; a failure is delivered as
// such and, when the request says so, cancels it.
template <DataStreamSerializer S>
DataStreamRequestPtr responseStream(const DataStreamRequestPtr& request, S serializer, DispatchQueuePtr queue,
                                    DataStreamRequest::Handler<typename S::SerializedObject, HWError> stream) {
    queue = handlerQueue(std::move(queue));
    using T = typename S::SerializedObject;
    using R = platform::Result<T, HWError>;
    std::weak_ptr<DataStreamRequest> weak = request;
    stream_handlers::appendParser(request, [weak, serializer, queue, stream](const platform::Data& chunk) {
        auto r = weak.lock();
        if (!r) return;
        r->serializationQueue->async([r, serializer, queue, stream, chunk] {
            std::optional<R> result;
            try {
                result = R::success(serializer.serialize(chunk));
            } catch (...) {
                result = R::failure(stream_handlers::asStreamError(platform::errorFromCurrentException()));
            }
            r->underlyingQueue->async([r, queue, stream, result = *result] {
                stream_handlers::reportParsed(r, eraseType(result));
                if (result.isFailure() && r->automaticallyCancelOnStreamError) r->cancel();
                stream_handlers::deliver(r, queue, [r, stream, result] {
                    stream(DataStreamRequest::Stream<T, HWError>{result, DataStreamRequest::CancellationToken{r}});
                });
            });
        });
    });
    request->appendStreamSerializer<T, HWError>(std::move(queue), std::move(stream));
    return request;
}

template <class T, class Decoder = platform::JSONDecoder>
    requires DataDecoder<Decoder, T>
DataStreamRequestPtr
responseStreamDecodable(const DataStreamRequestPtr& request, DispatchQueuePtr queue,
                        DataStreamRequest::Handler<T, HWError> stream, Decoder decoder = Decoder(),
                        DataPreprocessorPtr preprocessor = ResponseSerializerBase::defaultDataPreprocessor()) {
    return responseStream(request, DecodableStreamSerializer<T, Decoder>{std::move(decoder), std::move(preprocessor)},
                          std::move(queue), std::move(stream));
}

}  // namespace Hawser
