// Stream requests: chunks to handlers, completions held back until the handler runs
// already handed out have ended, and the bound stream pair behind asInputStream.
#include "Hawser/DataStreamRequest.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <optional>

#include "Hawser/Session.h"
#include "platform/base/Protected.h"

namespace Hawser {

namespace {

// The bytes shared by the two ends of a bound pair.
struct BoundBuffer {
    struct Contents {
        std::deque<std::uint8_t> bytes;
        bool closed = false;
    };
    platform::Protected<Contents> contents;
    std::condition_variable_any changed;
};

class BoundOutput final : public BoundOutputStream {
public:
    explicit BoundOutput(std::shared_ptr<BoundBuffer> buffer) : buffer_(std::move(buffer)) {}
    void open() override {}
    void write(const platform::Data& bytes) override {
        buffer_->contents.write([&](BoundBuffer::Contents& contents) {
            if (contents.closed) return;
            contents.bytes.insert(contents.bytes.end(), bytes.data(), bytes.data() + bytes.count());
            buffer_->changed.notify_all();
        });
    }
    void close() override {
        buffer_->contents.write([&](BoundBuffer::Contents& contents) {
            contents.closed = true;
            buffer_->changed.notify_all();
        });
    }

private:
    std::shared_ptr<BoundBuffer> buffer_;
};

// Reads wait for bytes; they answer 0 once the writer closed and everything was read.
class BoundInput final : public platform::InputStream {
public:
    BoundInput(std::shared_ptr<BoundBuffer> buffer, std::size_t granularity)
        : buffer_(std::move(buffer)), granularity_(std::max<std::size_t>(granularity, 1)) {}
    ssize_t read(std::uint8_t* out, std::size_t maxLength) override {
        for (;;) {
            buffer_->contents.wait(buffer_->changed, [](const BoundBuffer::Contents& contents) {
                return !contents.bytes.empty() || contents.closed;
            });
            if (auto count = take(out, maxLength)) return static_cast<ssize_t>(*count);
        }
    }

private:
    // Moves what may be read now into `out`; none when another reader emptied the buffer
    // between the wait and this step.
    std::optional<std::size_t> take(std::uint8_t* out, std::size_t maxLength) {
        return buffer_->contents.write([&](BoundBuffer::Contents& contents) -> std::optional<std::size_t> {
            if (contents.bytes.empty() && !contents.closed) return std::nullopt;
            std::size_t count = std::min({maxLength, granularity_, contents.bytes.size()});
            std::copy_n(contents.bytes.begin(), count, out);
            contents.bytes.erase(contents.bytes.begin(), contents.bytes.begin() + static_cast<std::ptrdiff_t>(count));
            return count;
        });
    }

    std::shared_ptr<BoundBuffer> buffer_;
    std::size_t granularity_;
};

}  // namespace

void DataStreamRequest::CancellationToken::cancel() const {
    if (auto r = request.lock()) r->cancel();
}

DataStreamRequestPtr DataStreamRequest::create(platform::UUID id, URLRequestConvertiblePtr convertible,
                                               bool automaticallyCancelOnStreamError, DispatchQueuePtr underlyingQueue,
                                               DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor,
                                               RequestInterceptorPtr interceptor,
                                               std::weak_ptr<RequestDelegate> delegate) {
    return DataStreamRequestPtr(new DataStreamRequest(
        id, std::move(convertible), automaticallyCancelOnStreamError, std::move(underlyingQueue),
        std::move(serializationQueue), std::move(eventMonitor), std::move(interceptor), std::move(delegate)));
}

DataStreamRequest::DataStreamRequest(platform::UUID id, URLRequestConvertiblePtr convertible,
                                     bool automaticallyCancelOnStreamError, DispatchQueuePtr underlyingQueue,
                                     DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor,
                                     RequestInterceptorPtr interceptor, std::weak_ptr<RequestDelegate> delegate)
    : Request(id, std::move(underlyingQueue), std::move(serializationQueue), std::move(eventMonitor),
              std::move(interceptor), std::move(delegate)),
      convertible(std::move(convertible)), automaticallyCancelOnStreamError(automaticallyCancelOnStreamError) {}

URLSessionTaskPtr DataStreamRequest::task(const URLRequest& request, const URLSessionPtr& session) {
    return session->dataTask(request);
}

void DataStreamRequest::performIn(Session& session) { session.performDataStreamRequest(selfAsStream()); }

void DataStreamRequest::didReceive(const platform::Data& data) {
    streamMutableState.write([&](StreamMutableState& s) {
        if (auto output = s.outputStream) underlyingQueue->async([output, data] { output->write(data); });
        s.numberOfExecutingStreams += static_cast<std::int64_t>(s.streams.size());
        underlyingQueue->async([streams = s.streams, data] {
            for (const auto& stream : streams) stream(data);
        });
    });
}

DataStreamRequestPtr DataStreamRequest::validate(Validation validation) {
    // A stream's check looks at nothing beyond request and response.
    addValidator(
        std::weak_ptr<DataStreamRequest>(selfAsStream()), [](DataStreamRequest&) { return platform::Void(); },
        [validation = std::move(validation)](const auto& request, const auto& response, platform::Void) {
            return validation(request, response);
        },
        [](EventMonitor& monitor, const auto& self, const auto& request, const auto& response, platform::Void,
           const auto& result) {
            monitor.requestDidValidateRequestResponseWithResult(self, request, response, result);
        });
    return selfAsStream();
}

platform::InputStreamPtr DataStreamRequest::asInputStream(std::size_t bufferSize) {
    auto buffer = std::make_shared<BoundBuffer>();
    auto input = std::make_shared<BoundInput>(buffer, bufferSize);
    streamMutableState.write([&](StreamMutableState& s) {
        s.outputStream = std::make_shared<BoundOutput>(buffer);
        s.outputStream->open();
    });
    resume();
    return input;
}

void DataStreamRequest::appendStreamSerializer(DispatchQueuePtr queue,
                                               std::function<void(const Completion&)> onComplete) {
    queue = handlerQueue(std::move(queue));
    auto self = selfAsStream();
    appendResponseSerializer([self, queue, onComplete] {
        self->underlyingQueue->async([self, queue, onComplete] {
            self->responseSerializerDidComplete([self, queue, onComplete] {
                // Either out at once or queued behind the running handlers, never lost.
                self->streamMutableState.write([&](StreamMutableState& s) {
                    if (s.numberOfExecutingStreams == 0) {
                        self->enqueueCompletion(queue, onComplete);
                    } else {
                        s.enqueuedCompletionEvents.push_back(
                            [self, queue, onComplete] { self->enqueueCompletion(queue, onComplete); });
                    }
                });
            });
        });
    });
}

void DataStreamRequest::enqueueCompletion(DispatchQueuePtr queue, std::function<void(const Completion&)> onComplete) {
    queue->async([self = selfAsStream(), onComplete] {
        Completion completion{self->request(), self->response(), self->metrics(), self->error()};
        try {
            onComplete(completion);
        } catch (...) {
            // A handler's failure on the complete event has nowhere to go.
        }
    });
}

void DataStreamRequest::streamRunDidEnd() {
    streamMutableState.write([&](StreamMutableState& s) {
        s.numberOfExecutingStreams -= 1;
        if (s.numberOfExecutingStreams == 0 && !s.enqueuedCompletionEvents.empty()) {
            for (auto& completion : s.enqueuedCompletionEvents) underlyingQueue->async(std::move(completion));
            s.enqueuedCompletionEvents.clear();
        }
    });
}

void DataStreamRequest::finish(const std::optional<HWError>& error) {
    streamMutableState.read([](const StreamMutableState& s) {
        if (s.outputStream) s.outputStream->close();
    });
    Request::finish(error);
}

}  // namespace Hawser
