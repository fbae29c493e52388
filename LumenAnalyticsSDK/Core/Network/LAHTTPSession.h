// The analytics client's one HTTP client: a URL session with its own one-at-a-time
// delegate queue that answers server-trust challenges with its security policy. It never
// follows a redirect (the 3xx is the answer), keeps at most `maximumAnswerSize` bytes of
// an answer, and gives a whole exchange at most the resource time-out.
#pragma once
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "LumenAnalyticsSDK/Core/Network/LASecurityPolicy.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/net/URLSession.h"

namespace LumenAnalyticsSDK {

class LAHTTPSession;
using LAHTTPSessionPtr = std::shared_ptr<LAHTTPSession>;

class LAHTTPSession : public platform::URLSessionDelegate, public std::enable_shared_from_this<LAHTTPSession> {
public:
    // Data with an HTTP response, or an error alone: never both.
    using CompletionHandler =
        std::function<void(std::optional<platform::Data>, platform::HTTPURLResponsePtr, platform::ErrorPtr)>;
    // Overrides of the challenge answers: return the disposition, set the credential.
    using SessionChallengeBlock = std::function<platform::URLSessionAuthChallengeDisposition(
        const platform::URLSessionPtr&, const platform::URLAuthenticationChallengePtr&, platform::URLCredentialPtr*)>;
    using TaskChallengeBlock = std::function<platform::URLSessionAuthChallengeDisposition(
        const platform::URLSessionPtr&, const platform::URLSessionTaskPtr&,
        const platform::URLAuthenticationChallengePtr&, platform::URLCredentialPtr*)>;

    static constexpr double requestTimeout = 30;
    // A collector that trickles its answer cannot hold a batch "being sent" for longer.
    static constexpr double defaultResourceTimeout = 60;
    // The status is what counts; the body only goes into a log line.
    static constexpr std::size_t maximumAnswerSize = 64 * 1024;

    // The process's session, made on first use.
    static const LAHTTPSessionPtr& sharedInstance();
    // A session of its own: the default policy, an ephemeral configuration with a 30 s
    // request time-out, the resource time-out, no pipelining, and the queue
    // "cn.lumen.LAHTTPSession.<address>".
    static LAHTTPSessionPtr create(double resourceTimeout = defaultResourceTimeout);

    // The task is returned unstarted: the caller resumes it. The handler runs on
    // `delegateQueue`. An answer longer than `maximumAnswerSize` ends the transfer there:
    // the handler gets its status with the body cut to that size.
    platform::URLSessionDataTaskPtr dataTaskWithRequest(const platform::URLRequest& request,
                                                        CompletionHandler completionHandler);

    void didReceiveSessionChallenge(const platform::URLSessionPtr& session,
                                    const platform::URLAuthenticationChallengePtr& challenge,
                                    platform::ChallengeCompletionHandler completion) override;
    void didReceiveChallenge(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                             const platform::URLAuthenticationChallengePtr& challenge,
                             platform::ChallengeCompletionHandler completion) override;
    // Uploads are never sent on to where a collector points: the redirect is the answer.
    void willPerformHTTPRedirection(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                                    const platform::HTTPURLResponsePtr& response,
                                    const platform::URLRequest& newRequest,
                                    std::function<void(std::optional<platform::URLRequest>)> completion) override;
    void didReceiveData(const platform::URLSessionPtr& session, const platform::URLSessionDataTaskPtr& task,
                        const platform::Data& data) override;
    void didCompleteWithError(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                              const platform::ErrorPtr& error) override;

    LASecurityPolicyPtr securityPolicy() const;
    void setSecurityPolicy(LASecurityPolicyPtr policy);
    const platform::OperationQueuePtr& delegateQueue() const { return delegateQueue_; }
    const platform::URLSessionPtr& session() const { return session_; }
    void setSessionDidReceiveAuthenticationChallengeBlock(SessionChallengeBlock block);
    void setTaskDidReceiveAuthenticationChallengeBlock(TaskChallengeBlock block);

    LAHTTPSession() = default;

private:
    // The policy's answer to a challenge; `sessionLevel` lets default handling stand in
    // when no credential can be made.
    void answerChallenge(const platform::URLAuthenticationChallengePtr& challenge, bool sessionLevel,
                         const platform::ChallengeCompletionHandler& completion) const;

    // What a task has received so far, until it completes.
    struct Answer {
        CompletionHandler handler;
        platform::Data body;
        bool cut = false;
    };

    struct State {
        std::map<const platform::URLSessionTask*, Answer> answers;
        LASecurityPolicyPtr securityPolicy;
        SessionChallengeBlock sessionDidReceiveAuthenticationChallenge;
        TaskChallengeBlock taskDidReceiveAuthenticationChallenge;
    };
    platform::Protected<State> state_;
    platform::OperationQueuePtr delegateQueue_;
    platform::URLSessionPtr session_;
};

}  // namespace LumenAnalyticsSDK
