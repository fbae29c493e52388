// The analytics client's one HTTP client: a URL session with its own one-at-a-time
// delegate queue that answers server-trust challenges with its security policy.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "LumenAnalyticsSDK/Core/Network/LASecurityPolicy.h"
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
        const platform::URLSessionPtr&, const platform::URLSessionTaskPtr&, const platform::URLAuthenticationChallengePtr&,
        platform::URLCredentialPtr*)>;

    static constexpr double requestTimeout = 30;

    // The process's session, made on first use.
    static const LAHTTPSessionPtr& sharedInstance();
    // A session of its own: the default policy, an ephemeral configuration with a 30 s
    // request time-out and no pipelining, and the queue "cn.lumen.LAHTTPSession.<address>".
    static LAHTTPSessionPtr create();

    // The task is returned unstarted: the caller resumes it. The handler runs on
    // `delegateQueue`.
    platform::URLSessionDataTaskPtr dataTaskWithRequest(const platform::URLRequest& request, CompletionHandler completionHandler);

    void didReceiveSessionChallenge(const platform::URLSessionPtr& session,
                                    const platform::URLAuthenticationChallengePtr& challenge,
                                    platform::ChallengeCompletionHandler completion) override;
    void didReceiveChallenge(const platform::URLSessionPtr& session, const platform::URLSessionTaskPtr& task,
                             const platform::URLAuthenticationChallengePtr& challenge,
                             platform::ChallengeCompletionHandler completion) override;

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

    mutable std::mutex mutex_;
    LASecurityPolicyPtr securityPolicy_;
    platform::OperationQueuePtr delegateQueue_;
    platform::URLSessionPtr session_;
    SessionChallengeBlock sessionDidReceiveAuthenticationChallenge_;
    TaskChallengeBlock taskDidReceiveAuthenticationChallenge_;
};

}  // namespace LumenAnalyticsSDK
