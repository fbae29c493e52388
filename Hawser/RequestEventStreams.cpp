// The five event streams of a request share one builder: register the yielder, then
// finish the iteration with the request.
#include "Hawser/RequestEventStreams.h"

namespace Hawser {

namespace {

template <class Element>
using Yielder = std::function<void(Request&, typename StreamOf<Element>::Continuation)>;

template <class Element>
StreamOf<Element> eventStream(const RequestPtr& request, BufferingPolicy bufferingPolicy, Yielder<Element> yielder) {
    std::weak_ptr<Request> weak = request;
    return StreamOf<Element>(bufferingPolicy, nullptr,
                             [weak, yielder = std::move(yielder)](typename StreamOf<Element>::Continuation c) {
                                 auto request = weak.lock();
                                 // A request that is gone has nothing more to tell.
                                 if (!request) return c.finish();
                                 // Registered first: a request that has already ended
                                 // finishes the iteration right after.
                                 yielder(*request, c);
                                 request->onFinish([c] { c.finish(); });
                             });
}

}  // namespace

StreamOf<platform::ProgressPtr> uploadProgressStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<platform::ProgressPtr>(request, bufferingPolicy, [](Request& r, auto c) {
        r.uploadProgress(singleEventQueue(), [c](const platform::ProgressPtr& progress) { c.yield(progress); });
    });
}

StreamOf<platform::ProgressPtr> downloadProgressStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<platform::ProgressPtr>(request, bufferingPolicy, [](Request& r, auto c) {
        r.downloadProgress(singleEventQueue(), [c](const platform::ProgressPtr& progress) { c.yield(progress); });
    });
}

StreamOf<URLRequest> urlRequestStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<URLRequest>(request, bufferingPolicy, [](Request& r, auto c) {
        r.onURLRequestCreation(singleEventQueue(), [c](const URLRequest& urlRequest) { c.yield(urlRequest); });
    });
}

StreamOf<URLSessionTaskPtr> urlSessionTaskStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<URLSessionTaskPtr>(request, bufferingPolicy, [](Request& r, auto c) {
        r.onURLSessionTaskCreation(singleEventQueue(), [c](const URLSessionTaskPtr& task) { c.yield(task); });
    });
}

StreamOf<std::string> cURLDescriptionStream(const RequestPtr& request, BufferingPolicy bufferingPolicy) {
    return eventStream<std::string>(request, bufferingPolicy, [](Request& r, auto c) {
        r.cURLDescription(singleEventQueue(), [c](const std::string& text) { c.yield(text); });
    });
}

}  // namespace Hawser
