// The analytics HTTP session: data tasks whose handler never sees data with an error,
// answers kept to a bounded size, redirects not followed, and server-trust challenges
// answered by the security policy.
#include "LumenAnalyticsSDK/Core/Network/LAHTTPSession.h"

#include <algorithm>

#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/CheckOnQueue.h"
#include "platform/net/URLError.h"

namespace LumenAnalyticsSDK {

using namespace platform;

const LAHTTPSessionPtr& LAHTTPSession::sharedInstance() {
    static const platform::NoDestructor<LAHTTPSessionPtr> instance(create());
    return *instance;
}

LAHTTPSessionPtr LAHTTPSession::create(double resourceTimeout) {
    auto http = std::make_shared<LAHTTPSession>();
    http->setSecurityPolicy(LASecurityPolicy::defaultPolicy());
    http->delegateQueue_ = OperationQueue::create();
    auto label = LAQueueLabel("cn.lumen.LAHTTPSession.", http.get());
    // A serial dispatch queue under the delegate queue, so that the callbacks can check
    // they run there.
    http->delegateQueue_->setUnderlyingQueue(DispatchQueue::create(label));
    http->delegateQueue_->setName(label);
    http->delegateQueue_->setMaxConcurrentOperationCount(1);
    auto configuration = URLSessionConfiguration::ephemeralSessionConfiguration();
    configuration.timeoutIntervalForRequest = requestTimeout;
    configuration.timeoutIntervalForResource = resourceTimeout;
    configuration.httpShouldUsePipelining = false;
    http->session_ = URLSession::create(configuration, http, http->delegateQueue_);
    return http;
}

URLSessionDataTaskPtr LAHTTPSession::dataTaskWithRequest(const URLRequest& request,
                                                         CompletionHandler completionHandler) {
    // The body arrives through the delegate, so that no more of it than needed is kept.
    auto task = session_->dataTask(request);
    state_.write([&](State& state) { state.answers[task.get()] = Answer{std::move(completionHandler), {}, false}; });
    return task;
}

void LAHTTPSession::willPerformHTTPRedirection(const URLSessionPtr&, const URLSessionTaskPtr&,
                                               const HTTPURLResponsePtr&, const URLRequest&,
                                               std::function<void(std::optional<URLRequest>)> completion) {
    completion(std::nullopt);
}

void LAHTTPSession::didReceiveData(const URLSessionPtr&, const URLSessionDataTaskPtr& task, const Data& data) {
    PLATFORM_CHECK_ON_QUEUE(delegateQueue_->underlyingQueue());
    bool cutNow = state_.write([&](State& state) {
        auto found = state.answers.find(task.get());
        if (found == state.answers.end() || found->second.cut) return false;
        auto& body = found->second.body.bytes();
        std::size_t room = maximumAnswerSize - body.size();
        body.insert(body.end(), data.bytes().begin(), data.bytes().begin() + std::min(room, data.bytes().size()));
        return found->second.cut = data.bytes().size() > room;
    });
    if (cutNow) task->cancel();
}

void LAHTTPSession::didCompleteWithError(const URLSessionPtr&, const URLSessionTaskPtr& task, const ErrorPtr& error) {
    PLATFORM_CHECK_ON_QUEUE(delegateQueue_->underlyingQueue());
    auto taken = state_.write([&](State& state) -> std::optional<Answer> {
        auto found = state.answers.find(task.get());
        if (found == state.answers.end()) return std::nullopt;
        Answer answer = std::move(found->second);
        state.answers.erase(found);
        return answer;
    });
    if (!taken || !taken->handler) return;
    Answer answer = std::move(*taken);
    auto http = std::dynamic_pointer_cast<const HTTPURLResponse>(task->response());
    // The cancel that cut a long answer short is no failure: the status is in.
    if ((!error || answer.cut) && http) return answer.handler(std::move(answer.body), http, nullptr);
    // Anything but a clean HTTP exchange reaches the caller as an error alone.
    ErrorPtr reported = error ? error
                              : URLError::make(URLError::Code::badServerResponse,
                                               task->response() ? task->response()->url() : std::nullopt);
    answer.handler(std::nullopt, nullptr, reported);
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
    if (!credential && sessionLevel)
        return completion(URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr);
    completion(URLSessionAuthChallengeDisposition::useCredential, credential);
}

void LAHTTPSession::didReceiveSessionChallenge(const URLSessionPtr& session,
                                               const URLAuthenticationChallengePtr& challenge,
                                               ChallengeCompletionHandler completion) {
    PLATFORM_CHECK_ON_QUEUE(delegateQueue_->underlyingQueue());
    if (!completion) return;
    auto block = state_.get(&State::sessionDidReceiveAuthenticationChallenge);
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
    PLATFORM_CHECK_ON_QUEUE(delegateQueue_->underlyingQueue());
    if (!completion) return;
    auto block = state_.get(&State::taskDidReceiveAuthenticationChallenge);
    if (block) {
        URLCredentialPtr credential;
        auto disposition = block(session, task, challenge, &credential);
        return completion(disposition, credential);
    }
    answerChallenge(challenge, false, completion);
}

LASecurityPolicyPtr LAHTTPSession::securityPolicy() const { return state_.get(&State::securityPolicy); }

void LAHTTPSession::setSecurityPolicy(LASecurityPolicyPtr policy) {
    state_.set(&State::securityPolicy, std::move(policy));
}

void LAHTTPSession::setSessionDidReceiveAuthenticationChallengeBlock(SessionChallengeBlock block) {
    state_.set(&State::sessionDidReceiveAuthenticationChallenge, std::move(block));
}

void LAHTTPSession::setTaskDidReceiveAuthenticationChallengeBlock(TaskChallengeBlock block) {
    state_.set(&State::taskDidReceiveAuthenticationChallenge, std::move(block));
}

}  // namespace LumenAnalyticsSDK
