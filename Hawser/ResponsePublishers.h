// Publishers over one request each: the serialized response of a data or download
// request, or every event of a stream request. Nothing is registered with the request
// and it is not resumed until the subscriber's first demand (of any size; later ones
// change nothing); cancelling the subscription cancels the request. Values arrive on
// the queue the publisher was built with. These publishers never fail; result() and
// value() give the outcome as results or as a failing stream.
#pragma once
#include <functional>
#include <optional>
#include <utility>

#include "Hawser/DataStreamHandlers.h"
#include "Hawser/DownloadResponseHandlers.h"
#include "Hawser/ResponseHandlers.h"
#include "platform/base/Protected.h"
#include "platform/combine/Publisher.h"

namespace Hawser {

namespace combine = platform::combine;

namespace detail {

// The subscription of every request publisher. `isLast` tells which value ends it.
template <class Output>
class RequestSubscription final : public combine::Subscription {
public:
    using Handler = std::function<RequestPtr(std::function<void(const Output&)>)>;
    RequestSubscription(RequestPtr request, Handler handler, combine::SubscriberPtr<Output, combine::Never> downstream,
                        bool (*isLast)(const Output&))
        : request_(std::move(request)), handler_(std::move(handler)), isLast_(isLast) {
        downstream_.set(std::move(downstream));
    }

    void request(combine::Demand) override {
        // Taken and cleared in one hold: of two racing demands exactly one goes on.
        auto down = downstream_.write([](auto& d) { return std::exchange(d, nullptr); });
        if (!down) return;
        auto registered = handler_([down, isLast = isLast_](const Output& output) {
            down->receive(output);
            if (isLast(output)) down->receive(combine::Completion<combine::Never>::finished());
        });
        registered->resume();
    }
    void cancel() override {
        request_->cancel();
        downstream_.set(nullptr);
    }

private:
    platform::Protected<combine::SubscriberPtr<Output, combine::Never>> downstream_;
    RequestPtr request_;
    Handler handler_;
    bool (*isLast_)(const Output&);
};

template <class Output>
void subscribe(const RequestPtr& request, typename RequestSubscription<Output>::Handler handler,
               combine::SubscriberPtr<Output, combine::Never> subscriber, bool (*isLast)(const Output&)) {
    auto inner = std::make_shared<RequestSubscription<Output>>(request, std::move(handler), subscriber, isLast);
    subscriber->receive(std::move(inner));
}

// The response publisher of a request of `Kind`.
template <class Kind, class Value>
class ResponsePublisher : public combine::PublisherOperators<ResponsePublisher<Kind, Value>,
                                                             typename Kind::template Response<Value>, combine::Never> {
public:
    using Response = typename Kind::template Response<Value>;
    using OutputType = Response;
    using FailureType = combine::Never;
    using ResponseHandler = std::function<typename Kind::RequestPtr(std::function<void(const Response&)>)>;

    ResponsePublisher(typename Kind::RequestPtr request, ResponseHandler responseHandler)
        : request(std::move(request)), responseHandler(std::move(responseHandler)) {}
    // Through a serializer, delivered on `queue`.
    template <class S>
    ResponsePublisher(typename Kind::RequestPtr request, DispatchQueuePtr queue, S serializer)
        : ResponsePublisher(request, [request, queue, serializer](std::function<void(const Response&)> completion) {
              return response(request, queue, serializer, std::move(completion));
          }) {}
    // Unserialized: the raw body or the file URL, delivered on `queue`.
    ResponsePublisher(typename Kind::RequestPtr request, DispatchQueuePtr queue)
        : ResponsePublisher(request, [request, queue](std::function<void(const Response&)> completion) {
              return response(request, queue, std::move(completion));
          }) {}

    void receive(combine::SubscriberPtr<Response, combine::Never> subscriber) const {
        subscribe<Response>(request, responseHandler, std::move(subscriber), [](const Response&) { return true; });
    }
    combine::AnyPublisher<platform::Result<Value, HWError>, combine::Never> result() const {
        return this->map([](const Response& r) { return r.result; });
    }
    // A failed response ends the stream with its HWError.
    combine::AnyPublisher<Value, HWError> value() const {
        return this->template setFailureType<HWError>().flatMap(
            [](const Response& r) { return combine::ResultPublisher<Value, HWError>(r.result); });
    }

    typename Kind::RequestPtr request;
    ResponseHandler responseHandler;
};

}  // namespace detail

template <class Value>
using DataResponsePublisher = detail::ResponsePublisher<DataKind, Value>;
template <class Value>
using DownloadResponsePublisher = detail::ResponsePublisher<DownloadKind, Value>;

template <class Value>
class DataStreamPublisher
    : public combine::PublisherOperators<DataStreamPublisher<Value>, DataStreamRequest::Stream<Value, HWError>,
                                         combine::Never> {
public:
    using Event = DataStreamRequest::Stream<Value, HWError>;
    using OutputType = Event;
    using FailureType = combine::Never;
    using StreamHandler = std::function<DataStreamRequestPtr(DataStreamRequest::Handler<Value, HWError>)>;

    DataStreamPublisher(DataStreamRequestPtr request, StreamHandler streamHandler)
        : request(std::move(request)), streamHandler(std::move(streamHandler)) {}
    template <DataStreamSerializer S>
    DataStreamPublisher(DataStreamRequestPtr request, DispatchQueuePtr queue, S serializer)
        : DataStreamPublisher(request, [request, queue, serializer](DataStreamRequest::Handler<Value, HWError> stream) {
              return responseStream(request, serializer, queue, std::move(stream));
          }) {}

    // Every event, whatever the demand, the completion last.
    void receive(combine::SubscriberPtr<Event, combine::Never> subscriber) const {
        detail::subscribe<Event>(request, streamHandler, std::move(subscriber),
                                 [](const Event& e) { return e.completion() != nullptr; });
    }
    // Each chunk's result; the completion adds its failure, if it has one.
    combine::AnyPublisher<platform::Result<Value, HWError>, combine::Never> result() const {
        return this->compactMap([](const Event& e) -> std::optional<platform::Result<Value, HWError>> {
            if (auto r = e.result()) return *r;
            if (e.completion()->error) return platform::Result<Value, HWError>::failure(*e.completion()->error);
            return std::nullopt;
        });
    }
    // The first failure (a chunk's or the completion's) ends the stream with it.
    combine::AnyPublisher<Value, HWError> value() const {
        return result().template setFailureType<HWError>().flatMap(
            [](const platform::Result<Value, HWError>& r) { return combine::ResultPublisher<Value, HWError>(r); });
    }

    DataStreamRequestPtr request;
    StreamHandler streamHandler;
};

}  // namespace Hawser
