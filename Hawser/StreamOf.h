// The asynchronous sequence that the HTTP client's streams hand out, and the queues its
// awaitable and streamed forms deliver on. A StreamOf holds no live state: every
// iteration makes a new platform stream, connects the producer to it anew, and ends it
// (finishing the stream and running `onTermination`) when its last iterator goes away.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/concurrency/AsyncStream.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/UUID.h"

namespace Hawser {

using platform::BufferingPolicy;

// The one concurrent queue, for the whole process, on which the client's event streams,
// awaited responses and stream iterations run their handlers.
const platform::DispatchQueuePtr& singleEventQueue();
// A new serial queue on singleEventQueue() for one iteration of a request's stream.
platform::DispatchQueuePtr streamCompletionQueue(const platform::UUID& requestID);

namespace detail {
// Calls its callback once, when the last copy of an iterator goes.
class StreamToken {
public:
    explicit StreamToken(std::function<void()> onDeinit) : onDeinit_(std::move(onDeinit)) {}
    ~StreamToken();
    StreamToken(const StreamToken&) = delete;
    StreamToken& operator=(const StreamToken&) = delete;

private:
    std::function<void()> onDeinit_;
};
}  // namespace detail

template <class Element>
class StreamOf {
public:
    using Continuation = typename platform::AsyncStream<Element>::Continuation;

    class Iterator {
    public:
        // The next element, or none once the iteration has ended and nothing is buffered.
        auto next() const { return iterator_.next(); }

    private:
        friend class StreamOf;
        Iterator(typename platform::AsyncStream<Element>::Iterator iterator, std::shared_ptr<detail::StreamToken> token)
            : iterator_(std::move(iterator)), token_(std::move(token)) {}
        typename platform::AsyncStream<Element>::Iterator iterator_;
        std::shared_ptr<detail::StreamToken> token_;
    };

    StreamOf(BufferingPolicy bufferingPolicy, std::function<void()> onTermination,
             std::function<void(Continuation)> builder)
        : bufferingPolicy_(bufferingPolicy), onTermination_(std::move(onTermination)), builder_(std::move(builder)) {}

    Iterator makeAsyncIterator() const {
        auto box = std::make_shared<std::optional<Continuation>>();
        platform::AsyncStream<Element> stream(bufferingPolicy_, [box, builder = builder_](Continuation c) {
            *box = c;
            builder(c);
        });
        auto token = std::make_shared<detail::StreamToken>([box, self = *this] {
            if (*box) (*box)->finish();
            if (self.onTermination_) self.onTermination_();
        });
        return Iterator(stream.makeAsyncIterator(), std::move(token));
    }

private:
    BufferingPolicy bufferingPolicy_;
    std::function<void()> onTermination_;
    std::function<void(Continuation)> builder_;
};

}  // namespace Hawser
