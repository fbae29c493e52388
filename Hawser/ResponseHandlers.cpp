// The non-generic parts of the response handlers: timing, error conversion, the retry
// question after a failed serialization; the unserialized step and the serializer steps
// in common use, instantiated here once for both request kinds.
#include "Hawser/ResponseHandlers.h"

#include "Hawser/DownloadResponseHandlers.h"

namespace Hawser {

namespace response_handling {

double systemUptime() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ErrorPtr requestError(const Request& request) {
    auto error = request.error();
    return error ? error->shared() : nullptr;
}

HWError serializationError(const ErrorPtr& thrown) {
    return asHWErrorOr(thrown, [&] {
        return HWError::responseSerializationFailed(
            ResponseSerializationFailureReason::CustomSerializationFailed{thrown});
    });
}

void completeOrRetry(const RequestPtr& request, const std::optional<HWError>& failure, std::function<void()> complete,
                     std::function<void(const HWError&)> completeWithError) {
    auto delegate = request->delegate();
    if (request->isCancelled() || !failure || !delegate) return complete();
    delegate->retryResult(request, *failure,
                          [request, delegate, complete = std::move(complete),
                           completeWithError = std::move(completeWithError)](RetryResult answer) {
                              switch (answer.index()) {
                                  case 0: delegate->retryRequest(request, std::nullopt); break;
                                  case 1: delegate->retryRequest(request, answer.delay()); break;
                                  case 2: complete(); break;
                                  default:
                                      completeWithError(asHWErrorOrFailWith(answer.error(), [] {
                                          return std::string("Received retryError was not already HWError");
                                      }));
                              }
                          });
}

void deliverLater(const RequestPtr& request, const DispatchQueuePtr& queue, std::function<void()> delivery) {
    auto target = handlerQueue(queue);
    request->responseSerializerDidComplete([target, delivery = std::move(delivery)] { target->async(delivery); });
}

template <class Kind>
void appendUnserialized(const typename Kind::RequestPtr& request, DispatchQueuePtr queue,
                        ResponseHandler<Kind, typename Kind::Received> completionHandler) {
    using Received = typename Kind::Received;
    request->appendResponseSerializer([request, queue = std::move(queue),
                                       completionHandler = std::move(completionHandler)] {
        auto received = Kind::received(*request);
        auto error = request->error();
        auto result = error ? platform::Result<Received, HWError>::failure(*error)
                            : platform::Result<Received, HWError>::success(received);
        request->underlyingQueue->async([request, queue, completionHandler, result] {
            typename Kind::template Response<Received> built(request->lastRequest(), request->response(),
                                                             Kind::fields(*request), request->lastMetrics(), 0, result);
            if (request->eventMonitor) Kind::didParse(*request->eventMonitor, request, built);
            deliverLater(request, queue, [completionHandler, built] { completionHandler(built); });
        });
    });
}

template void appendUnserialized<DataKind>(const DataRequestPtr&, DispatchQueuePtr,
                                           ResponseHandler<DataKind, DataKind::Received>);
template void appendUnserialized<DownloadKind>(const DownloadRequestPtr&, DispatchQueuePtr,
                                               ResponseHandler<DownloadKind, DownloadKind::Received>);

template struct SerializerStep<DataKind, DataResponseSerializer>;
template struct SerializerStep<DataKind, StringResponseSerializer>;
template struct SerializerStep<DataKind, JSONResponseSerializer>;
template struct SerializerStep<DownloadKind, DataResponseSerializer>;
template struct SerializerStep<DownloadKind, StringResponseSerializer>;
template struct SerializerStep<DownloadKind, JSONResponseSerializer>;
template struct SerializerStep<DownloadKind, URLResponseSerializer>;

}  // namespace response_handling

DownloadRequestPtr responseURL(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                               DownloadResponseHandler<platform::URL> completionHandler) {
    return response(request, std::move(queue), URLResponseSerializer(), std::move(completionHandler));
}

}  // namespace Hawser
