// A streaming request's body as asynchronous sequences of stream events (raw chunks,
// text chunks, decoded values or any stream serializer's values), each ended by the
// completion event. Every iteration registers its own stream handler, delivered on a
// serial queue of its own; an iteration left early can cancel the request. Each
// sequence keeps its request alive.
#pragma once
#include <functional>
#include <string>
#include <utility>

#include "Hawser/DataStreamHandlers.h"
#include "Hawser/StreamOf.h"

namespace Hawser {

class DataStreamTask {
public:
    template <class Success, class Failure>
    using Events = StreamOf<DataStreamRequest::Stream<Success, Failure>>;

    explicit DataStreamTask(DataStreamRequestPtr request) : request(std::move(request)) {}

    // With `automaticallyCancelling`, an iteration whose iterator goes before the
    // request has ended cancels it.
    Events<platform::Data, Infallible> dataStream(bool automaticallyCancelling = false,
                                                  BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded()) const;
    // Each chunk decoded as UTF-8 on its own (malformed bytes become U+FFFD).
    Events<std::string, Infallible> stringStream(bool automaticallyCancelling = false,
                                                 BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded()) const;

    template <DataStreamSerializer S>
    Events<typename S::SerializedObject, HWError>
    serializedStream(S serializer, bool automaticallyCancelling = false,
                     BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded()) const {
        using Element = DataStreamRequest::Stream<typename S::SerializedObject, HWError>;
        return makeStream<Element>(automaticallyCancelling, bufferingPolicy,
                                   [request = request, serializer](std::function<void(const Element&)> handler) {
                                       responseStream(request, serializer, streamCompletionQueue(request->id),
                                                      std::move(handler));
                                   });
    }

    // One JSON value per chunk.
    template <class T>
    Events<T, HWError> decodableStream(bool automaticallyCancelling = false,
                                       BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded()) const {
        return serializedStream(
            DecodableStreamSerializer<T>{platform::JSONDecoder(), std::make_shared<const PassthroughPreprocessor>()},
            automaticallyCancelling, bufferingPolicy);
    }

    void cancel() const { request->cancel(); }
    void resume() const { request->resume(); }
    void suspend() const { request->suspend(); }

    DataStreamRequestPtr request;

private:
    // `forResponse` registers the handler it is given on the request, once per iteration.
    template <class Element>
    StreamOf<Element> makeStream(bool automaticallyCancelling, BufferingPolicy bufferingPolicy,
                                 std::function<void(std::function<void(const Element&)>)> forResponse) const {
        std::function<void()> onTermination;
        if (automaticallyCancelling) onTermination = [request = request] { cancelIfStillRunning(*request); };
        return StreamOf<Element>(bufferingPolicy, std::move(onTermination),
                                 [forResponse = std::move(forResponse)](typename StreamOf<Element>::Continuation c) {
                                     forResponse([c](const Element& event) {
                                         c.yield(event);
                                         // The completion is always the last element.
                                         if (event.completion()) c.finish();
                                     });
                                 });
    }
    static void cancelIfStillRunning(Request& request);
};

inline DataStreamTask asyncStreamTask(const DataStreamRequestPtr& request) { return DataStreamTask(request); }

}  // namespace Hawser
