// The callbacks a URL session makes, on its delegate queue, one at a time. Every one is
// optional: the defaults answer as the platform does when a delegate does not implement
// a callback.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/base/Error.h"
#include "platform/foundation/URL.h"
#include "platform/net/InputStream.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLCredential.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/net/URLSessionTaskMetrics.h"

namespace platform {

class URLSession;
class URLSessionTask;
class URLSessionDataTask;
class URLSessionDownloadTask;
using URLSessionPtr = std::shared_ptr<URLSession>;
using URLSessionTaskPtr = std::shared_ptr<URLSessionTask>;
using URLSessionDataTaskPtr = std::shared_ptr<URLSessionDataTask>;
using URLSessionDownloadTaskPtr = std::shared_ptr<URLSessionDownloadTask>;

// The platform's raw values.
enum class URLSessionResponseDisposition { cancel = 0, allow = 1, becomeDownload = 2, becomeStream = 3 };

using ChallengeCompletionHandler = std::function<void(URLSessionAuthChallengeDisposition, URLCredentialPtr)>;

class URLSessionDelegate {
public:
    virtual ~URLSessionDelegate() = default;

    // Session
    virtual void didBecomeInvalidWithError(const URLSessionPtr&, const ErrorPtr&) {}
    // A challenge for the whole session (server trust) when the task-level callback does
    // not answer it itself.
    virtual void didReceiveSessionChallenge(const URLSessionPtr&, const URLAuthenticationChallengePtr&,
                                            ChallengeCompletionHandler completion) {
        completion(URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr);
    }

    // Task
    virtual void didReceiveChallenge(const URLSessionPtr& session, const URLSessionTaskPtr&,
                                     const URLAuthenticationChallengePtr& challenge,
                                     ChallengeCompletionHandler completion);
    virtual void didSendBodyData(const URLSessionPtr&, const URLSessionTaskPtr&, std::int64_t /*bytesSent*/,
                                 std::int64_t /*totalBytesSent*/, std::int64_t /*totalBytesExpectedToSend*/) {}
    virtual void needNewBodyStream(const URLSessionPtr&, const URLSessionTaskPtr&,
                                   std::function<void(InputStreamPtr)> completion) {
        completion(nullptr);
    }
    // Answer the request to follow (possibly changed) or none to stop at this response.
    virtual void willPerformHTTPRedirection(const URLSessionPtr&, const URLSessionTaskPtr&, const HTTPURLResponsePtr&,
                                            const URLRequest& newRequest,
                                            std::function<void(std::optional<URLRequest>)> completion) {
        completion(newRequest);
    }
    virtual void didFinishCollectingMetrics(const URLSessionPtr&, const URLSessionTaskPtr&,
                                            const URLSessionTaskMetrics&) {}
    virtual void didCompleteWithError(const URLSessionPtr&, const URLSessionTaskPtr&, const ErrorPtr&) {}
    virtual void taskIsWaitingForConnectivity(const URLSessionPtr&, const URLSessionTaskPtr&) {}

    // Data
    virtual void didReceiveResponse(const URLSessionPtr&, const URLSessionDataTaskPtr&, const URLResponsePtr&,
                                    std::function<void(URLSessionResponseDisposition)> completion) {
        completion(URLSessionResponseDisposition::allow);
    }
    virtual void didReceiveData(const URLSessionPtr&, const URLSessionDataTaskPtr&, const Data&) {}
    virtual void willCacheResponse(const URLSessionPtr&, const URLSessionDataTaskPtr&,
                                   const CachedURLResponsePtr& proposed,
                                   std::function<void(CachedURLResponsePtr)> completion) {
        completion(proposed);
    }

    // Download
    virtual void didResumeAtOffset(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, std::int64_t /*fileOffset*/,
                                   std::int64_t /*expectedTotalBytes*/) {}
    virtual void didWriteData(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, std::int64_t /*bytesWritten*/,
                              std::int64_t /*totalBytesWritten*/, std::int64_t /*totalBytesExpectedToWrite*/) {}
    // The file at `location` is removed when this returns: move it away to keep it.
    virtual void didFinishDownloadingTo(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, const URL& location) {
        (void)location;
    }
};

using URLSessionDelegatePtr = std::shared_ptr<URLSessionDelegate>;

}  // namespace platform
