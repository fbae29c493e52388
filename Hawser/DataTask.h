// Awaiting the serialized response of a data or download request from a coroutine task
// instead of passing a completion callback; one template serves both kinds. A factory
// starts a task that registers an ordinary response handler (on singleEventQueue()) and
// answers a small value through which callers await the response, its result or its
// value, and cancel, resume or suspend the work. The response handler is registered
// from the request's own queue, after the factory has returned. Cancelling the value
// cancels the request; with `automaticallyCancelling`, cancelling the task that awaits
// it does too.
#pragma once
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "Hawser/ResponseHandlers.h"
#include "Hawser/StreamOf.h"
#include "platform/concurrency/CheckedContinuation.h"
#include "platform/concurrency/Task.h"

namespace Hawser {

namespace detail {

// The task behind every awaited response: it installs a handler that cancels the
// request when the task is cancelled, suspends on a checked continuation named `name`
// and hands `registration`, on `registrationQueue`, the callback that resumes it. So the
// handler is in place as soon as the factory returns, while the response handler is
// registered after that, off the caller's thread. The factories pass the request's own
// queue, which is busy setting the new request up anyway: the registration costs no
// hand-over to another thread there, and only queues more work for it.
template <class Response>
platform::Task<Response> awaitResponse(std::string name, platform::DispatchQueuePtr registrationQueue,
                                       std::function<void(std::function<void(const Response&)>)> registration,
                                       std::function<void()> cancelRequest) {
    // Built before the await, not inside its expression: temporaries that live across a
    // suspension are not handled reliably by every compiler.
    auto body = [queue = std::move(registrationQueue),
                 registration = std::move(registration)](platform::CheckedContinuation<Response> c) {
        queue->async([registration, c] { registration([c](const Response& response) { c.resume(response); }); });
    };
    auto waiting = platform::withTaskCancellationHandler(
        platform::withCheckedContinuation<Response>(std::move(name), std::move(body)), std::move(cancelRequest));
    Response response = co_await waiting;
    co_return response;
}

// The awaitable response of a request of `Kind`.
template <class Kind, class Value>
class ResponseTask {
public:
    using ResponseType = typename Kind::template Response<Value>;

    // The response; with `shouldAutomaticallyCancel`, cancelling the awaiting task
    // cancels this one (and so the request) and the response then carries that failure.
    auto response() const {
        std::function<void()> onCancel;
        if (shouldAutomaticallyCancel) onCancel = [task = task] { task.cancel(); };
        return platform::withTaskCancellationHandler(task.value(), std::move(onCancel));
    }
    auto result() const {
        return platform::mapAwaited(response(), [](const ResponseType& r) { return r.result; });
    }
    // The success value; a failure is thrown as its HWError.
    auto value() const {
        return platform::mapAwaited(response(), [](const ResponseType& r) -> Value {
            if (r.result.isFailure()) r.result.error().raise();
            return r.result.value();
        });
    }
    void cancel() const { task.cancel(); }
    void resume() const { request->resume(); }
    void suspend() const { request->suspend(); }

    typename Kind::RequestPtr request;
    platform::Task<ResponseType> task;
    bool shouldAutomaticallyCancel = false;
};

// `forResponse` registers the completion it is given as the request's response handler.
template <class Kind, class Value>
ResponseTask<Kind, Value> responseTask(const typename Kind::RequestPtr& request, bool automaticallyCancelling,
                                       std::function<void(ResponseHandler<Kind, Value>)> forResponse) {
    // A plain cancel: a download produces no resume data.
    auto task = awaitResponse<typename Kind::template Response<Value>>(
        Kind::taskName, request->underlyingQueue, std::move(forResponse), [request] { request->cancel(); });
    return {request, std::move(task), automaticallyCancelling};
}

}  // namespace detail

template <class Value>
using DataTask = detail::ResponseTask<DataKind, Value>;
template <class Value>
using DownloadTask = detail::ResponseTask<DownloadKind, Value>;

// The core operation under both names.
template <class Value>
DataTask<Value> dataTask(const DataRequestPtr& request, bool automaticallyCancelling,
                         std::function<void(DataResponseHandler<Value>)> forResponse) {
    return detail::responseTask<DataKind, Value>(request, automaticallyCancelling, std::move(forResponse));
}
template <class Value>
DownloadTask<Value> downloadTask(const DownloadRequestPtr& request, bool automaticallyCancelling,
                                 std::function<void(DownloadResponseHandler<Value>)> forResponse) {
    return detail::responseTask<DownloadKind, Value>(request, automaticallyCancelling, std::move(forResponse));
}

// Any serializer that reads what the request's kind reads, its completion on
// singleEventQueue().
template <ResponseKindRequest R, SerializerFor<KindOf<R>> S>
detail::ResponseTask<KindOf<R>, typename S::SerializedObject>
serializedTask(const std::shared_ptr<R>& request, S serializer, bool automaticallyCancelling = false) {
    using Kind = KindOf<R>;
    using Value = typename S::SerializedObject;
    typename Kind::RequestPtr kindRequest = request;
    return detail::responseTask<Kind, Value>(
        kindRequest, automaticallyCancelling,
        [kindRequest, serializer = std::move(serializer)](ResponseHandler<Kind, Value> completion) {
            response(kindRequest, singleEventQueue(), serializer, std::move(completion));
        });
}

template <class RequestPtrType>
auto serializedDataTask(
    const RequestPtrType& request, bool automaticallyCancelling = false,
    DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
    std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return serializedTask(request,
                          DataResponseSerializer(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                                 std::move(emptyRequestMethods)),
                          automaticallyCancelling);
}

template <class RequestPtrType>
auto serializedStringTask(
    const RequestPtrType& request, bool automaticallyCancelling = false,
    DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
    std::optional<platform::StringEncoding> encoding = std::nullopt,
    std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return serializedTask(request,
                          StringResponseSerializer(std::move(dataPreprocessor), std::move(encoding),
                                                   std::move(emptyResponseCodes), std::move(emptyRequestMethods)),
                          automaticallyCancelling);
}

template <class T, class Decoder = platform::JSONDecoder, class RequestPtrType>
auto serializedDecodableTask(
    const RequestPtrType& request, bool automaticallyCancelling = false,
    DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor(),
    Decoder decoder = Decoder(), std::set<int> emptyResponseCodes = ResponseSerializerBase::defaultEmptyResponseCodes(),
    std::set<HTTPMethod> emptyRequestMethods = ResponseSerializerBase::defaultEmptyRequestMethods()) {
    return serializedTask(request,
                          DecodableResponseSerializer<T, Decoder>(std::move(dataPreprocessor), std::move(decoder),
                                                                  std::move(emptyResponseCodes),
                                                                  std::move(emptyRequestMethods)),
                          automaticallyCancelling);
}

// The downloaded file's URL.
inline DownloadTask<platform::URL> serializedFileURLTask(const DownloadRequestPtr& request,
                                                         bool automaticallyCancelling = false) {
    return serializedTask(request, URLResponseSerializer{}, automaticallyCancelling);
}

}  // namespace Hawser
