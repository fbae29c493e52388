// The analytics HTTP session: data tasks whose handler never sees data with an error, and
// server-trust challenges answered by the security policy.
#include "LumenAnalyticsSDK/Core/Network/LAHTTPSession.h"

#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "platform/net/URLError.h"

namespace LumenAnalyticsSDK {

using namespace platform;

const LAHTTPSessionPtr& LAHTTPSession::sharedInstance() {
    static const auto* instance = new LAHTTPSessionPtr(create());
    return *instance;
}

LAHTTPSessionPtr LAHTTPSession::create() {
    auto http = std::make_shared<LAHTTPSession>();
    http->securityPolicy_ = LASecurityPolicy::defaultPolicy();
    http->delegateQueue_ = OperationQueue::create();
    http->delegateQueue_->setName(LAQueueLabel("cn.lumen.LAHTTPSession.", http.get()));
    http->delegateQueue_->setMaxConcurrentOperationCount(1);
    auto configuration = URLSessionConfiguration::ephemeralSessionConfiguration();
    configuration.timeoutIntervalForRequest = requestTimeout;
    configuration.httpShouldUsePipelining = false;
    http->session_ = URLSession::create(configuration, http, http->delegateQueue_);
    return http;
}

URLSessionDataTaskPtr LAHTTPSession::dataTaskWithRequest(const URLRequest& request, CompletionHandler completionHandler) {
    return session_->dataTask(request, [completionHandler](std::optional<Data> data, URLResponsePtr response, ErrorPtr error) {
        if (!completionHandler) return;
        auto http = std::dynamic_pointer_cast<const HTTPURLResponse>(response);
        if (!error && http) return completionHandler(std::move(data), http, nullptr);
        // Anything but a clean HTTP exchange reaches the caller as an error alone.
        if (!error) error = URLError::make(URLError::Code::badServerResponse, response ? response->url() : std::nullopt);
        completionHandler(std::nullopt, nullptr, error);
    });
}

void LAHTTPSession::answerChallenge(const URLAuthenticationChallengePtr& challenge, bool sessionLevel,
                                    const ChallengeCompletionHandler& completion) const {
    const auto& space = challenge->protectionSpace();
    if (space.authenticationMethod() != NSURLAuthenticationMethodServerTrust)
        return completion(URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr);
    auto policy = securityPolicy();
    if (!policy || !policy->evaluateServerTrust(space.serverTrust(), space.host()))
        return completion(URLSessionAuthChallengeDisposition::cancelAuthenticationChallenge, nullptr);
    URLCredentialPtr credential = space.serverTrust() ? std::make_shared<URLCredential>(space.serverTrust()) : nullptr;
    if (!credential && sessionLevel) return completion(URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr);
    completion(URLSessionAuthChallengeDisposition::useCredential, credential);
}

void LAHTTPSession::didReceiveSessionChallenge(const URLSessionPtr& session, const URLAuthenticationChallengePtr& challenge,
                                               ChallengeCompletionHandler completion) {
    if (!completion) return;
    SessionChallengeBlock block;
    {
        std::lock_guard lock(mutex_);
        block = sessionDidReceiveAuthenticationChallenge_;
    }
    if (block) {
        URLCredentialPtr credential;
        auto disposition = block(session, challenge, &credential);
        return completion(disposition, credential);
    }
    answerChallenge(challenge, true, completion);
}

void LAHTTPSession::didReceiveChallenge(const URLSessionPtr& session, const URLSessionTaskPtr& task,
                                        const URLAuthenticationChallengePtr& challenge,
                                        ChallengeCompletionHandler completion) {
    if (!completion) return;
    TaskChallengeBlock block;
    {
        std::lock_guard lock(mutex_);
        block = taskDidReceiveAuthenticationChallenge_;
    }
    if (block) {
        URLCredentialPtr credential;
        auto disposition = block(session, task, challenge, &credential);
        return completion(disposition, credential);
    }
    answerChallenge(challenge, false, completion);
}

LASecurityPolicyPtr LAHTTPSession::securityPolicy() const {
    std::lock_guard lock(mutex_);
    return securityPolicy_;
}

void LAHTTPSession::setSecurityPolicy(LASecurityPolicyPtr policy) {
    std::lock_guard lock(mutex_);
    securityPolicy_ = std::move(policy);
}

void LAHTTPSession::setSessionDidReceiveAuthenticationChallengeBlock(SessionChallengeBlock block) {
    std::lock_guard lock(mutex_);
    sessionDidReceiveAuthenticationChallenge_ = std::move(block);
}

void LAHTTPSession::setTaskDidReceiveAuthenticationChallengeBlock(TaskChallengeBlock block) {
    std::lock_guard lock(mutex_);
    taskDidReceiveAuthenticationChallenge_ = std::move(block);
}

}  // namespace LumenAnalyticsSDK
