// A URL session: makes tasks, runs their transfers with libcurl's multi interface on one
// I/O thread of its own, and reports to its delegate on its delegate queue, one callback
// at a time. Redirects are decided by the delegate (at most 16 hops).
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Protected.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/net/URLSessionDelegate.h"
#include "platform/net/URLSessionTask.h"

namespace platform {

class CurlEngine;

class URLSession : public std::enable_shared_from_this<URLSession> {
public:
    static constexpr int maximumRedirects = 16;

    // Without a delegate queue, the session makes one that runs one operation at a time.
    static URLSessionPtr create(URLSessionConfiguration configuration, URLSessionDelegatePtr delegate = nullptr,
                                OperationQueuePtr delegateQueue = nullptr);
    // A session with the default configuration and no delegate, for the process.
    static const URLSessionPtr& shared();
    ~URLSession();

    const URLSessionConfiguration& configuration() const { return configuration_; }
    URLSessionDelegatePtr delegate() const;
    const OperationQueuePtr& delegateQueue() const { return delegateQueue_; }
    std::string sessionDescription() const;
    void setSessionDescription(std::string text);

    URLSessionDataTaskPtr dataTask(const URLRequest& request);
    URLSessionDataTaskPtr dataTask(const URL& url);
    URLSessionDataTaskPtr dataTask(const URLRequest& request, URLSessionDataTask::CompletionHandler completion);

    URLSessionUploadTaskPtr uploadTask(const URLRequest& request, const Data& bodyData);
    URLSessionUploadTaskPtr uploadTask(const URLRequest& request, const URL& fileURL);
    // The body is asked of the delegate (needNewBodyStream) when the task starts.
    URLSessionUploadTaskPtr uploadTaskWithStreamedRequest(const URLRequest& request);
    URLSessionUploadTaskPtr uploadTask(const URLRequest& request, const Data& bodyData,
                                       URLSessionDataTask::CompletionHandler completion);
    URLSessionUploadTaskPtr uploadTask(const URLRequest& request, const URL& fileURL,
                                       URLSessionDataTask::CompletionHandler completion);

    URLSessionDownloadTaskPtr downloadTask(const URLRequest& request);
    URLSessionDownloadTaskPtr downloadTask(const URL& url);
    URLSessionDownloadTaskPtr downloadTask(const URLRequest& request,
                                           URLSessionDownloadTask::CompletionHandler completion);
    URLSessionDownloadTaskPtr downloadTask(const Data& resumeData);
    URLSessionDownloadTaskPtr downloadTask(const Data& resumeData,
                                           URLSessionDownloadTask::CompletionHandler completion);

    // No new tasks; running ones finish; then didBecomeInvalidWithError(nil) and the
    // delegate is released.
    void finishTasksAndInvalidate();
    // The same, cancelling every running task first.
    void invalidateAndCancel();
    // Every task not yet completed.
    void getAllTasks(std::function<void(std::vector<URLSessionTaskPtr>)> completion);

private:
    friend class URLSessionTask;
    friend class URLSessionDownloadTask;
    friend class TaskDriver;

    URLSession(URLSessionConfiguration configuration, URLSessionDelegatePtr delegate, OperationQueuePtr queue);
    std::uint64_t nextIdentifier();
    std::uint64_t registerTask(const URLSessionTaskPtr& task);
    // Runs `callback` on the delegate queue with the delegate (if the session still has one).
    void deliver(std::function<void(const URLSessionPtr&, const URLSessionDelegatePtr&)> callback);
    void taskDidComplete(std::uint64_t identifier);
    void invalidateIfIdle();
    void checkValid() const;

    const URLSessionConfiguration configuration_;
    OperationQueuePtr delegateQueue_;
    std::shared_ptr<CurlEngine> engine_;
    struct State {
        URLSessionDelegatePtr delegate;
        std::string description;
        std::map<std::uint64_t, URLSessionTaskPtr> activeTasks;
        std::uint64_t nextIdentifier = 1;
        bool invalidating = false;
        bool invalidated = false;
    };
    Protected<State> state_;
};

}  // namespace platform
