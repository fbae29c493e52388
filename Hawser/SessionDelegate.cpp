// The session delegate: URL-session callbacks to monitor events and request calls,
// challenge answers, handler choice and the download move.
#include "Hawser/SessionDelegate.h"

#include "Hawser/DataRequest.h"
#include "Hawser/DataStreamRequest.h"
#include "Hawser/DownloadRequest.h"
#include "Hawser/UploadRequest.h"
#include "platform/crypto/WrittenFileDigests.h"
#include "platform/net/URLSessionTask.h"

namespace Hawser {

using platform::URLSessionAuthChallengeDisposition;

SessionDelegate::SessionDelegate(std::shared_ptr<platform::FileManager> fileManager)
    : fileManager(std::move(fileManager)) {}

void SessionDelegate::didBecomeInvalidWithError(const platform::URLSessionPtr& session,
                                                const platform::ErrorPtr& error) {
    if (eventMonitor_) eventMonitor_->sessionDidBecomeInvalidWithError(session, error);
    if (auto provider = stateProvider()) provider->cancelRequestsForSessionInvalidation(error);
}

void SessionDelegate::didReceiveChallenge(const platform::URLSessionPtr& session,
                                          const platform::URLSessionTaskPtr& task,
                                          const platform::URLAuthenticationChallengePtr& challenge,
                                          platform::ChallengeCompletionHandler completion) {
    if (eventMonitor_) eventMonitor_->taskDidReceiveChallenge(session, task, challenge);
    auto evaluation = evaluate(*challenge, task);
    if (evaluation.error)
        if (auto r = request<Request>(task)) r->didFailTask(task, *evaluation.error);
    completion(evaluation.disposition, evaluation.credential);
}

SessionDelegate::ChallengeEvaluation SessionDelegate::evaluate(const platform::URLAuthenticationChallenge& challenge,
                                                               const platform::URLSessionTaskPtr& task) {
    const std::string& method = challenge.protectionSpace().authenticationMethod();
    if (method == platform::NSURLAuthenticationMethodHTTPBasic ||
        method == platform::NSURLAuthenticationMethodHTTPDigest || method == platform::NSURLAuthenticationMethodNTLM ||
        method == platform::NSURLAuthenticationMethodNegotiate ||
        method == platform::NSURLAuthenticationMethodClientCertificate)
        return attemptCredentialAuthentication(challenge, task);
    if (method == platform::NSURLAuthenticationMethodServerTrust) return attemptServerTrustAuthentication(challenge);
    return {URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr, std::nullopt};
}

SessionDelegate::ChallengeEvaluation
SessionDelegate::attemptServerTrustAuthentication(const platform::URLAuthenticationChallenge& challenge) {
    const ChallengeEvaluation byDefault{URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr,
                                        std::nullopt};
    const auto& space = challenge.protectionSpace();
    const std::string host = space.host();
    if (space.authenticationMethod() != platform::NSURLAuthenticationMethodServerTrust || !space.serverTrust())
        return byDefault;
    auto provider = stateProvider();
    auto manager = provider ? provider->serverTrustManager() : nullptr;
    // Without a manager the platform verifies the chain and the host name itself.
    if (!manager) return byDefault;
    try {
        auto evaluator = manager->serverTrustEvaluator(host);
        if (!evaluator) return byDefault;
        evaluator->evaluate(space.serverTrust(), host);
        return {URLSessionAuthChallengeDisposition::useCredential,
                std::make_shared<platform::URLCredential>(space.serverTrust()), std::nullopt};
    } catch (...) {
        auto error = platform::errorFromCurrentException();
        HWError failure = asHWErrorOr(error, [&] {
            return HWError::serverTrustEvaluationFailed(ServerTrustFailureReason::CustomEvaluationFailed{error});
        });
        return {URLSessionAuthChallengeDisposition::cancelAuthenticationChallenge, nullptr, failure};
    }
}

SessionDelegate::ChallengeEvaluation
SessionDelegate::attemptCredentialAuthentication(const platform::URLAuthenticationChallenge& challenge,
                                                 const platform::URLSessionTaskPtr& task) {
    // A credential that failed once is never offered again.
    if (challenge.previousFailureCount() != 0)
        return {URLSessionAuthChallengeDisposition::rejectProtectionSpace, nullptr, std::nullopt};
    auto provider = stateProvider();
    auto credential = provider ? provider->credential(task, challenge.protectionSpace()) : nullptr;
    if (!credential) return {URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr, std::nullopt};
    return {URLSessionAuthChallengeDisposition::useCredential, credential, std::nullopt};
}

void SessionDelegate::didSendBodyData(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                                      std::int64_t bytesSent, std::int64_t totalBytesSent,
                                      std::int64_t totalBytesExpectedToSend) {
    if (eventMonitor_)
        eventMonitor_->taskDidSendBodyData(session, task, bytesSent, totalBytesSent, totalBytesExpectedToSend);
    if (auto r = request<Request>(task)) r->updateUploadProgress(totalBytesSent, totalBytesExpectedToSend);
}

void SessionDelegate::needNewBodyStream(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                                        std::function<void(platform::InputStreamPtr)> completion) {
    if (eventMonitor_) eventMonitor_->taskNeedNewBodyStream(session, task);
    auto upload = request<UploadRequest>(task);
    completion(upload ? upload->inputStream() : nullptr);
}

void SessionDelegate::willPerformHTTPRedirection(const platform::URLSessionPtr& session,
                                                 const platform::URLSessionTaskPtr& task,
                                                 const platform::HTTPURLResponsePtr& response,
                                                 const platform::URLRequest& newRequest,
                                                 std::function<void(std::optional<platform::URLRequest>)> completion) {
    if (eventMonitor_) eventMonitor_->taskWillPerformHTTPRedirection(session, task, response, newRequest);
    RedirectHandlerPtr handler;
    if (auto r = request<Request>(task)) handler = r->redirectHandler();
    if (!handler)
        if (auto provider = stateProvider()) handler = provider->redirectHandler();
    if (!handler) return completion(newRequest);
    handler->task(task, newRequest, response, std::move(completion));
}

void SessionDelegate::didFinishCollectingMetrics(const platform::URLSessionPtr& session,
                                                 const platform::URLSessionTaskPtr& task,
                                                 const platform::URLSessionTaskMetrics& metrics) {
    auto shared = std::make_shared<const platform::URLSessionTaskMetrics>(metrics);
    if (eventMonitor_) eventMonitor_->taskDidFinishCollectingMetrics(session, task, shared);
    auto provider = stateProvider();
    if (!provider) return;
    if (auto r = provider->request(task)) r->didGatherMetrics(shared);
    provider->didGatherMetricsForTask(task);
}

void SessionDelegate::didCompleteWithError(const platform::URLSessionPtr& session,
                                           const platform::URLSessionTaskPtr& task, const platform::ErrorPtr& error) {
    if (eventMonitor_) eventMonitor_->taskDidComplete(session, task, error);
    auto provider = stateProvider();
    if (!provider) return;
    auto r = provider->request(task);
    std::optional<HWError> mapped;
    if (error) mapped = asHWErrorOr(error, [&] { return HWError::sessionTaskFailed(error); });
    provider->didCompleteTask(task, [r, task, mapped] {
        if (r) r->didCompleteTask(task, mapped);
    });
}

void SessionDelegate::taskIsWaitingForConnectivity(const platform::URLSessionPtr& session,
                                                   const platform::URLSessionTaskPtr& task) {
    if (eventMonitor_) eventMonitor_->taskIsWaitingForConnectivity(session, task);
}

void SessionDelegate::didReceiveData(const platform::URLSessionPtr& session,
                                     const platform::URLSessionDataTaskPtr& task, const platform::Data& data) {
    if (eventMonitor_) eventMonitor_->dataTaskDidReceiveData(session, task, data);
    auto provider = stateProvider();
    if (!provider) return;
    auto r = provider->request(task);
    if (auto dataRequest = std::dynamic_pointer_cast<DataRequest>(r)) dataRequest->didReceive(data);
    else if (auto stream = std::dynamic_pointer_cast<DataStreamRequest>(r)) stream->didReceive(data);
}

void SessionDelegate::willCacheResponse(const platform::URLSessionPtr& session,
                                        const platform::URLSessionDataTaskPtr& task,
                                        const platform::CachedURLResponsePtr& proposed,
                                        std::function<void(platform::CachedURLResponsePtr)> completion) {
    if (eventMonitor_) eventMonitor_->dataTaskWillCacheResponse(session, task, proposed);
    CachedResponseHandlerPtr handler;
    if (auto r = request<Request>(task)) handler = r->cachedResponseHandler();
    if (!handler)
        if (auto provider = stateProvider()) handler = provider->cachedResponseHandler();
    if (!handler) return completion(proposed);
    handler->dataTask(task, proposed, std::move(completion));
}

void SessionDelegate::didResumeAtOffset(const platform::URLSessionPtr& session,
                                        const platform::URLSessionDownloadTaskPtr& task, std::int64_t fileOffset,
                                        std::int64_t expectedTotalBytes) {
    if (eventMonitor_) eventMonitor_->downloadTaskDidResumeAtOffset(session, task, fileOffset, expectedTotalBytes);
    if (auto r = request<DownloadRequest>(task)) r->updateDownloadProgress(fileOffset, expectedTotalBytes);
}

void SessionDelegate::didWriteData(const platform::URLSessionPtr& session,
                                   const platform::URLSessionDownloadTaskPtr& task, std::int64_t bytesWritten,
                                   std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite) {
    if (eventMonitor_)
        eventMonitor_->downloadTaskDidWriteData(session, task, bytesWritten, totalBytesWritten,
                                                totalBytesExpectedToWrite);
    if (auto r = request<DownloadRequest>(task)) r->updateDownloadProgress(bytesWritten, totalBytesExpectedToWrite);
}

// The caller's destination closure failed: nothing is moved, the temporary file goes, and
// the download finishes with the closure's error as a move from and to that file.
void SessionDelegate::failWithoutDestination(const DownloadRequestPtr& r,
                                             const platform::URLSessionDownloadTaskPtr& task,
                                             const platform::URL& location, const platform::ErrorPtr& error) {
    try {
        if (fileManager->fileExists(location.path())) fileManager->removeItem(location);
    } catch (...) {
        // A file that cannot be removed leaves the closure's error as the one reported.
    }
    r->didFinishDownloading(task, platform::Result<platform::URL, HWError>::failure(
                                      HWError::downloadedFileMoveFailed(error, location, location)));
}

// The file layer's move never replaces an existing destination and, across file systems,
// copies into the destination's folder before renaming, so a failed move never leaves a
// half-written file under the destination's name.
void SessionDelegate::didFinishDownloadingTo(const platform::URLSessionPtr& session,
                                             const platform::URLSessionDownloadTaskPtr& task,
                                             const platform::URL& location) {
    if (eventMonitor_) eventMonitor_->downloadTaskDidFinishDownloadingToURL(session, task, location);
    auto r = request<DownloadRequest>(task);
    if (!r) return;
    platform::HTTPURLResponsePtr response;
    if (auto last = r->lastTask())
        response = std::dynamic_pointer_cast<const platform::HTTPURLResponse>(last->response());
    platform::URL destination = location;
    DownloadRequest::Options options;
    if (response && r->destination) {
        try {
            auto chosen = r->destination(location, *response);
            destination = chosen.destinationURL;
            options = chosen.options;
        } catch (...) {
            failWithoutDestination(r, task, location, platform::errorFromCurrentException());
            return;
        }
    } else {
        destination =
            location.deletingLastPathComponent().appendingPathComponent("Hawser_" + location.lastPathComponent());
    }
    if (r->eventMonitor) r->eventMonitor->requestDidCreateDestinationURL(r, destination);
    try {
        if (options.contains(DownloadRequest::Options::removePreviousFile) &&
            fileManager->fileExists(destination.path()))
            fileManager->removeItem(destination);
        if (options.contains(DownloadRequest::Options::createIntermediateDirectories))
            fileManager->createDirectory(destination.deletingLastPathComponent(), true);
        // The MD5 taken while the file was written follows it: the move changes the file's
        // change time, with which that digest is kept, so the check of the moved file would
        // otherwise read it all again.
        platform::moveFollowingWrittenDigest(location.path(), destination.path(),
                                             [&] { fileManager->moveItem(location, destination); });
    } catch (...) {
        auto error = platform::errorFromCurrentException();
        r->didFinishDownloading(task, platform::Result<platform::URL, HWError>::failure(
                                          HWError::downloadedFileMoveFailed(error, location, destination)));
        return;
    }
    r->didFinishDownloading(task, platform::Result<platform::URL, HWError>::success(destination));
}

}  // namespace Hawser
