// The one delegate of a session's URL session: turns every callback into an event for
// the session's monitor and a call on the request that owns the task, answers
// authentication challenges, picks redirect and caching handlers, and moves finished
// downloads to their destination.
#pragma once
#include <memory>

#include "Hawser/EventMonitor.h"
#include "Hawser/HWError.h"
#include "Hawser/SessionStateProvider.h"
#include "platform/files/FileManager.h"
#include "platform/net/URLSessionDelegate.h"

namespace Hawser {

class SessionDelegate : public platform::URLSessionDelegate {
public:
    struct ChallengeEvaluation {
        platform::URLSessionAuthChallengeDisposition disposition;
        platform::URLCredentialPtr credential;
        std::optional<HWError> error;
    };

    explicit SessionDelegate(std::shared_ptr<platform::FileManager> fileManager);

    const std::shared_ptr<platform::FileManager> fileManager;
    // Set by the session; the provider is held weakly and loaded at each use.
    void setStateProvider(std::weak_ptr<SessionStateProvider> provider) { stateProvider_ = std::move(provider); }
    SessionStateProviderPtr stateProvider() const { return stateProvider_.lock(); }
    void setEventMonitor(EventMonitorPtr monitor) { eventMonitor_ = std::move(monitor); }
    const EventMonitorPtr& eventMonitor() const { return eventMonitor_; }

    // ---- URL-session callbacks ----
    void didBecomeInvalidWithError(const platform::URLSessionPtr& session, const platform::ErrorPtr& error) override;
    void didReceiveChallenge(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                             const platform::URLAuthenticationChallengePtr& challenge,
                             platform::ChallengeCompletionHandler completion) override;
    void didSendBodyData(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                         std::int64_t bytesSent, std::int64_t totalBytesSent,
                         std::int64_t totalBytesExpectedToSend) override;
    void needNewBodyStream(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                           std::function<void(platform::InputStreamPtr)> completion) override;
    void willPerformHTTPRedirection(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                                    const platform::HTTPURLResponsePtr& response,
                                    const platform::URLRequest& newRequest,
                                    std::function<void(std::optional<platform::URLRequest>)> completion) override;
    void didFinishCollectingMetrics(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                                    const platform::URLSessionTaskMetrics& metrics) override;
    void didCompleteWithError(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                              const platform::ErrorPtr& error) override;
    void taskIsWaitingForConnectivity(const platform::URLSessionPtr& session,
                                      const platform::URLSessionTaskPtr& task) override;
    void didReceiveData(const platform::URLSessionPtr& session, const platform::URLSessionDataTaskPtr& task,
                        const platform::Data& data) override;
    void willCacheResponse(const platform::URLSessionPtr& session, const platform::URLSessionDataTaskPtr& task,
                           const platform::CachedURLResponsePtr& proposed,
                           std::function<void(platform::CachedURLResponsePtr)> completion) override;
    void didResumeAtOffset(const platform::URLSessionPtr& session, const platform::URLSessionDownloadTaskPtr& task,
                           std::int64_t fileOffset, std::int64_t expectedTotalBytes) override;
    void didWriteData(const platform::URLSessionPtr& session, const platform::URLSessionDownloadTaskPtr& task,
                      std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                      std::int64_t totalBytesExpectedToWrite) override;
    void didFinishDownloadingTo(const platform::URLSessionPtr& session, const platform::URLSessionDownloadTaskPtr& task,
                                const platform::URL& location) override;

    // ---- the delegate's own decisions ----
    virtual ChallengeEvaluation evaluate(const platform::URLAuthenticationChallenge& challenge,
                                         const platform::URLSessionTaskPtr& task);
    virtual ChallengeEvaluation attemptServerTrustAuthentication(const platform::URLAuthenticationChallenge& challenge);
    virtual ChallengeEvaluation attemptCredentialAuthentication(const platform::URLAuthenticationChallenge& challenge,
                                                                const platform::URLSessionTaskPtr& task);

protected:
    // The task's request when it is a T; null on any miss.
    template <class T>
    std::shared_ptr<T> request(const platform::URLSessionTaskPtr& task) const {
        auto provider = stateProvider();
        if (!provider || !task) return nullptr;
        return std::dynamic_pointer_cast<T>(provider->request(task));
    }

private:
    void failWithoutDestination(const DownloadRequestPtr& r, const platform::URLSessionDownloadTaskPtr& task,
                                const platform::URL& location, const platform::ErrorPtr& error);

    std::weak_ptr<SessionStateProvider> stateProvider_;
    EventMonitorPtr eventMonitor_;
};
using SessionDelegatePtr = std::shared_ptr<SessionDelegate>;

}  // namespace Hawser
