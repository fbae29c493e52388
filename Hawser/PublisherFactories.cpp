// The publisher factories whose value types are fixed: the download's file URL and the
// stream requests' chunks.
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

DownloadResponsePublisher<platform::URL> publishURL(const DownloadRequestPtr& request, DispatchQueuePtr queue) {
    return {request, [request, queue](DownloadResponseHandler<platform::URL> completion) {
                return responseURL(request, queue, std::move(completion));
            }};
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
