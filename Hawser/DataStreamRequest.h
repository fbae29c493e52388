// The request kind that hands each received chunk of the body to stream handlers as it
// arrives, delivers their completion only after every handler run for the chunks
// already handed out has ended, and can expose the body as an input stream.
#pragma once
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "Hawser/Request.h"
#include "Hawser/URLConvertible.h"
#include "platform/net/InputStream.h"

namespace Hawser {

// The writing end of a bound stream pair. Every write is taken whole: the buffer grows
// as needed, so no byte is ever dropped; the reader sees the end once it is closed.
class BoundOutputStream {
public:
    virtual ~BoundOutputStream() = default;
    virtual void open() = 0;
    virtual void write(const platform::Data& bytes) = 0;
    virtual void close() = 0;
};
using BoundOutputStreamPtr = std::shared_ptr<BoundOutputStream>;

class DataStreamRequest : public Request {
public:
    // What a complete event carries.
    struct Completion {
        std::optional<URLRequest> request;
        HTTPURLResponsePtr response;
        URLSessionTaskMetricsPtr metrics;
        std::optional<HWError> error;
    };

    // Lets a handler cancel the request without keeping it alive.
    struct CancellationToken {
        std::weak_ptr<DataStreamRequest> request;
        void cancel() const;
    };

    // One event for a handler: a chunk's serialised result, or the completion.
    template <class Success, class Failure>
    struct Stream {
        std::variant<platform::Result<Success, Failure>, Completion> event;
        CancellationToken token;

        const platform::Result<Success, Failure>* result() const { return std::get_if<0>(&event); }
        std::optional<Success> value() const { return result() ? result()->successValue() : std::nullopt; }
        std::optional<Failure> error() const { return result() ? result()->failureValue() : std::nullopt; }
        const Completion* completion() const { return std::get_if<1>(&event); }
        void cancel() const { token.cancel(); }
    };
    template <class Success, class Failure>
    using Handler = std::function<void(const Stream<Success, Failure>&)>;

    struct StreamMutableState {
        BoundOutputStreamPtr outputStream;
        // One entry per stream handler, each run with every chunk.
        std::vector<std::function<void(const platform::Data&)>> streams;
        // Handler runs scheduled but not yet ended.
        std::int64_t numberOfExecutingStreams = 0;
        // Completions waiting for numberOfExecutingStreams to reach 0.
        std::vector<std::function<void()>> enqueuedCompletionEvents;
    };

    using Validation =
        std::function<ValidationResult(const std::optional<URLRequest>&, const platform::HTTPURLResponse&)>;

    static DataStreamRequestPtr create(platform::UUID id, URLRequestConvertiblePtr convertible,
                                       bool automaticallyCancelOnStreamError, DispatchQueuePtr underlyingQueue,
                                       DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor,
                                       RequestInterceptorPtr interceptor, std::weak_ptr<RequestDelegate> delegate);

    const URLRequestConvertiblePtr convertible;
    // Read by the stream serializers: a chunk that fails to serialize cancels the request.
    const bool automaticallyCancelOnStreamError;
    // The stream handlers' state; the stream serializers append their handlers here.
    platform::Protected<StreamMutableState> streamMutableState;

    using Request::task;
    URLSessionTaskPtr task(const URLRequest& request, const URLSessionPtr& session) override;
    void performIn(Session& session) override;
    // One received chunk, from the session delegate.
    virtual void didReceive(const platform::Data& data);
    virtual DataStreamRequestPtr validate(Validation validation);
    // Resumes the request and answers the reading end of a pair that receives every
    // chunk from now on; reads return at most `bufferSize` bytes at a time.
    virtual platform::InputStreamPtr asInputStream(std::size_t bufferSize = 1024);
    // Queues the completion of one handler as a response serializer: once its turn
    // comes, `onComplete` runs on `queue`, after the handler runs already handed out.
    virtual void appendStreamSerializer(DispatchQueuePtr queue, std::function<void(const Completion&)> onComplete);
    template <class Success, class Failure>
    void appendStreamSerializer(DispatchQueuePtr queue, Handler<Success, Failure> stream) {
        appendStreamSerializer(std::move(queue), completionHandler(std::move(stream)));
    }
    virtual void enqueueCompletion(DispatchQueuePtr queue, std::function<void(const Completion&)> onComplete);
    // One handler run has ended: counts it down and, at 0, schedules the waiting
    // completions in order on the underlying queue.
    virtual void streamRunDidEnd();
    void finish(const std::optional<HWError>& error = std::nullopt) override;

    // The complete event for a typed handler; an error it throws is dropped.
    template <class Success, class Failure>
    std::function<void(const Completion&)> completionHandler(Handler<Success, Failure> stream) {
        std::weak_ptr<DataStreamRequest> weak = selfAsStream();
        return [weak, stream = std::move(stream)](const Completion& completion) {
            stream(Stream<Success, Failure>{completion, CancellationToken{weak}});
        };
    }

protected:
    DataStreamRequest(platform::UUID id, URLRequestConvertiblePtr convertible, bool automaticallyCancelOnStreamError,
                      DispatchQueuePtr underlyingQueue, DispatchQueuePtr serializationQueue,
                      EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                      std::weak_ptr<RequestDelegate> delegate);
    DataStreamRequestPtr selfAsStream() { return std::static_pointer_cast<DataStreamRequest>(shared_from_this()); }
};

}  // namespace Hawser
