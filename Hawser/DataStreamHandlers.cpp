// The stream handlers that need no serializer, and the delivery step every handler shares.
#include "Hawser/DataStreamHandlers.h"

namespace Hawser {

namespace stream_handlers {

HWError asStreamError(const platform::ErrorPtr& error) {
    return asHWErrorOr(error, [&] {
        return HWError::responseSerializationFailed(
            ResponseSerializationFailureReason::CustomSerializationFailed{error});
    });
}

void deliver(const DataStreamRequestPtr& request, const DispatchQueuePtr& queue, std::function<void()> call) {
    queue->async([request, call = std::move(call)] {
        try {
            call();
        } catch (...) {
            request->setError(asStreamError(platform::errorFromCurrentException()));
            request->cancel();
        }
        request->streamRunDidEnd();
    });
}

void appendParser(const DataStreamRequestPtr& request, std::function<void(const platform::Data&)> parser) {
    request->streamMutableState.write(
        [&](DataStreamRequest::StreamMutableState& s) { s.streams.push_back(std::move(parser)); });
}

void reportParsed(const DataStreamRequestPtr& request, const AnyResult& result) {
    if (request->eventMonitor) request->eventMonitor->requestDidParseStream(request, result);
}

}  // namespace stream_handlers

DataStreamRequestPtr responseStream(const DataStreamRequestPtr& request, DispatchQueuePtr queue,
                                    DataStreamRequest::Handler<platform::Data, Infallible> stream) {
    queue = handlerQueue(std::move(queue));
    using R = platform::Result<platform::Data, Infallible>;
    std::weak_ptr<DataStreamRequest> weak = request;
    stream_handlers::appendParser(request, [weak, queue, stream](const platform::Data& chunk) {
        auto r = weak.lock();
        if (!r) return;
        stream_handlers::deliver(r, queue, [r, stream, chunk] {
            stream(DataStreamRequest::Stream<platform::Data, Infallible>{R::success(chunk),
                                                                         DataStreamRequest::CancellationToken{r}});
        });
    });
    request->appendStreamSerializer<platform::Data, Infallible>(std::move(queue), std::move(stream));
    return request;
}

DataStreamRequestPtr responseStreamString(const DataStreamRequestPtr& request, DispatchQueuePtr queue,
                                          DataStreamRequest::Handler<std::string, Infallible> stream) {
    queue = handlerQueue(std::move(queue));
    using R = platform::Result<std::string, Infallible>;
    std::weak_ptr<DataStreamRequest> weak = request;
    stream_handlers::appendParser(request, [weak, queue, stream](const platform::Data& chunk) {
        auto r = weak.lock();
        if (!r) return;
        r->serializationQueue->async([r, queue, stream, chunk] {
            std::string text = StringStreamSerializer().serialize(chunk);
            r->underlyingQueue->async([r, queue, stream, text] {
                stream_handlers::reportParsed(r, eraseType(platform::Result<std::string, HWError>::success(text)));
                stream_handlers::deliver(r, queue, [r, stream, text] {
                    stream(DataStreamRequest::Stream<std::string, Infallible>{R::success(text),
                                                                              DataStreamRequest::CancellationToken{r}});
                });
            });
        });
    });
    request->appendStreamSerializer<std::string, Infallible>(std::move(queue), std::move(stream));
    return request;
}

}  // namespace Hawser
