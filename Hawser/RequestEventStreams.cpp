// The five event streams of a request share one builder: register the yielder, then
// finish the iteration with the request.
#include "Hawser/RequestEventStreams.h"

namespace Hawser {

namespace {

template <class Element>
using Yielder =
    std::function<void(Request&, const platform::DispatchQueuePtr&, typename StreamOf<Element>::Continuation)>;

template <class Element>
StreamOf<Element> eventStream(const RequestPtr& request, BufferingPolicy bufferingPolicy, Yielder<Element> yielder) {
    std::weak_ptr<Request> weak = request;
    return StreamOf<Element>(bufferingPolicy, nullptr,
                             [weak, yielder = std::move(yielder)](typename StreamOf<Element>::Continuation c) {
                                 auto request = weak.lock();
                                 // A request that is gone has nothing more to tell.
                                 if (!request) return c.finish();
                                 // Events and the end travel through one serial queue of the
                                 // iteration, so an event told before the request ended is
                                 // never overtaken by the end. Registered first: a request
                                 // that has already ended finishes the iteration right after.
                                 auto queue = streamCompletionQueue(request->id);
                                 yielder(*request, queue, c);
                                 request->onFinish([c, queue] { queue->async([c] { c.finish(); }); });
                             });
}

}  // namespace

StreamOf<platform::ProgressPtr> uploadProgressStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<platform::ProgressPtr>(
        request, bufferingPolicy, [](Request& r, const platform::DispatchQueuePtr& queue, auto c) {
            r.uploadProgress(queue, [c](const platform::ProgressPtr& progress) { c.yield(progress); });
        });
}

StreamOf<platform::ProgressPtr> downloadProgressStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<platform::ProgressPtr>(
        request, bufferingPolicy, [](Request& r, const platform::DispatchQueuePtr& queue, auto c) {
            r.downloadProgress(queue, [c](const platform::ProgressPtr& progress) { c.yield(progress); });
        });
}

StreamOf<URLRequest> urlRequestStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<URLRequest>(
        request, bufferingPolicy, [](Request& r, const platform::DispatchQueuePtr& queue, auto c) {
            r.onURLRequestCreation(queue, [c](const URLRequest& urlRequest) { c.yield(urlRequest); });
        });
}

StreamOf<URLSessionTaskPtr> urlSessionTaskStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<URLSessionTaskPtr>(
        request, bufferingPolicy, [](Request& r, const platform::DispatchQueuePtr& queue, auto c) {
            r.onURLSessionTaskCreation(queue, [c](const URLSessionTaskPtr& task) { c.yield(task); });
        });
}

StreamOf<std::string> cURLDescriptionStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<std::string>(request, bufferingPolicy,
                                    [](Request& r, const platform::DispatchQueuePtr& queue, auto c) {
                                        r.cURLDescription(queue, [c](const std::string& text) { c.yield(text); });
                                    });
}

}  // namespace Hawser
