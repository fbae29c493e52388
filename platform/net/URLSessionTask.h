// Tasks of a URL session: one exchange each (following redirects and authentication
// rounds), created suspended, started by `resume`. State and counters may be read from
// any thread; the transfer itself runs on the session's I/O thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Protected.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/net/URLSessionDelegate.h"

namespace platform {

inline constexpr std::int64_t NSURLSessionTransferSizeUnknown = -1;

class TaskDriver;

class URLSessionTask : public std::enable_shared_from_this<URLSessionTask> {
public:
    enum class State { running = 0, suspended = 1, canceling = 2, completed = 3 };
    enum class Kind { data, upload, download };

    virtual ~URLSessionTask();
    URLSessionTask(const URLSessionTask&) = delete;
    URLSessionTask& operator=(const URLSessionTask&) = delete;

    std::uint64_t taskIdentifier() const { return identifier_; }
    Kind kind() const { return kind_; }
    std::optional<URLRequest> originalRequest() const;
    std::optional<URLRequest> currentRequest() const;
    URLResponsePtr response() const;
    State state() const;
    ErrorPtr error() const;
    std::string taskDescription() const;
    void setTaskDescription(std::string text);

    std::int64_t countOfBytesReceived() const { return bytesReceived_.load(); }
    std::int64_t countOfBytesSent() const { return bytesSent_.load(); }
    std::int64_t countOfBytesExpectedToSend() const { return bytesExpectedToSend_.load(); }
    std::int64_t countOfBytesExpectedToReceive() const { return bytesExpectedToReceive_.load(); }

    // Starts a new task or continues a suspended one.
    void resume();
    // Pauses the transfer; the connection stays open.
    void suspend();
    // Ends the task with URLError.cancelled (also a suspended or never started task).
    virtual void cancel();

    std::shared_ptr<URLSession> session() const { return session_.lock(); }

protected:
    URLSessionTask(Kind kind, std::uint64_t identifier, std::weak_ptr<URLSession> session,
                   std::optional<URLRequest> request);

private:
    friend class URLSession;
    friend class URLSessionDownloadTask;
    friend class TaskDriver;

    // Moves a task that is neither completed nor already canceling to canceling, in one
    // step; false when it is over or being canceled already.
    bool beginCanceling();

    const Kind kind_;
    const std::uint64_t identifier_;
    std::weak_ptr<URLSession> session_;
    // What callers on any thread may read; the driver updates it a step at a time.
    struct Fields {
        std::optional<URLRequest> originalRequest, currentRequest;
        URLResponsePtr response;
        State state = State::suspended;
        bool started = false;
        ErrorPtr error;
        std::string description;
    };
    Protected<Fields> fields_;
    std::atomic<std::int64_t> bytesReceived_{0}, bytesSent_{0}, bytesExpectedToSend_{0},
        bytesExpectedToReceive_{NSURLSessionTransferSizeUnknown};
    // Seen by a server-trust evaluation that waits for the delegate's answer.
    std::atomic<bool> cancelRequested_{false};

    // Lives on the session's I/O thread only.
    std::unique_ptr<TaskDriver> driver_;
};

class URLSessionDataTask : public URLSessionTask {
public:
    using CompletionHandler = std::function<void(std::optional<Data>, URLResponsePtr, ErrorPtr)>;

protected:
    friend class URLSession;
    friend class TaskDriver;
    using URLSessionTask::URLSessionTask;
    CompletionHandler completion_;
    // What the body comes from: the request's data or stream, a file, or the delegate.
    std::optional<Data> bodyData_;
    std::optional<std::string> bodyFile_;
    bool streamedBody_ = false;
};

class URLSessionUploadTask : public URLSessionDataTask {
protected:
    friend class URLSession;
    using URLSessionDataTask::URLSessionDataTask;
};

class URLSessionDownloadTask : public URLSessionTask {
public:
    using CompletionHandler = std::function<void(std::optional<URL>, URLResponsePtr, ErrorPtr)>;

    void cancel() override;
    // Cancels and hands over resume data (none when the server's answer cannot be
    // resumed: no validator, or nothing received yet). The handler runs on the delegate
    // queue.
    void cancel(std::function<void(std::optional<Data>)> byProducingResumeData);

protected:
    friend class URLSession;
    friend class TaskDriver;
    using URLSessionTask::URLSessionTask;
    CompletionHandler completion_;
    std::optional<Data> resumeData_;
};

using URLSessionUploadTaskPtr = std::shared_ptr<URLSessionUploadTask>;

}  // namespace platform
