// The raw and text sequences of a stream request, and the early-exit cancellation.
#include "Hawser/DataStreamTask.h"

namespace Hawser {

DataStreamTask::Events<platform::Data, Infallible> DataStreamTask::dataStream(bool automaticallyCancelling,
                                                                              BufferingPolicy bufferingPolicy) const {
    using Element = DataStreamRequest::Stream<platform::Data, Infallible>;
    return makeStream<Element>(automaticallyCancelling, bufferingPolicy,
                               [request = request](std::function<void(const Element&)> handler) {
                                   responseStream(request, streamCompletionQueue(request->id), std::move(handler));
                               });
}

DataStreamTask::Events<std::string, Infallible> DataStreamTask::stringStream(bool automaticallyCancelling,
                                                                             BufferingPolicy bufferingPolicy) const {
    using Element = DataStreamRequest::Stream<std::string, Infallible>;
    return makeStream<Element>(
        automaticallyCancelling, bufferingPolicy, [request = request](std::function<void(const Element&)> handler) {
            responseStreamString(request, streamCompletionQueue(request->id), std::move(handler));
        });
}

void DataStreamTask::cancelIfStillRunning(Request& request) {
    // Read under the lock, acted on after it: cancel takes the lock itself.
    bool running = request.withState([](Request::State state) {
        return state == Request::State::initialized || state == Request::State::resumed ||
               state == Request::State::suspended;
    });
    if (running) request.cancel();
}

}  // namespace Hawser
