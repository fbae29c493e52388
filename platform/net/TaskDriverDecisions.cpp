// What follows a redirect or an authentication challenge, as the delegate decides.
#include "platform/net/TaskDriver.h"

#include "platform/net/TaskDriverSupport.h"
#include "platform/net/URLError.h"

namespace platform {

using namespace driver;

void TaskDriver::decideRedirect() {
    if (redirects_ >= URLSession::maximumRedirects)
        return finish(URLError::make(URLError::Code::httpTooManyRedirects, request_.url()));
    auto redirected = redirectedRequest(request_, status_, headers_);
    if (!redirected) return deliverInterceptedResponse();
    URLRequest newRequest = *redirected;
    if (!sameOrigin(*request_.url(), *newRequest.url())) credential_.reset();
    auto task = taskRef_;
    auto response = response_;
    auto answer = once([io = ioPoster()](std::optional<URLRequest> request) {
        io([request](TaskDriver& driver) {
            if (!request) return driver.deliverInterceptedResponse();
            ++driver.redirects_;
            driver.startAttempt(*request);
        });
    });
    post([task, response, newRequest, answer](const URLSessionPtr& session,
                                              const URLSessionDelegatePtr& delegate) mutable {
        if (delegate) delegate->willPerformHTTPRedirection(session, task, response, newRequest, answer);
        else answer(newRequest);
    });
}

void TaskDriver::decideAuthentication() {
    auto scheme = authenticationScheme(headers_);
    const URL& url = *request_.url();
    URLProtectionSpace space(url.host().value_or(""), defaultPort(url), url.scheme(), scheme->second, scheme->first);
    auto challenge = std::make_shared<URLAuthenticationChallenge>(space, nullptr, authFailures_, response_, nullptr);
    auto answer =
        once([io = ioPoster(), space](URLSessionAuthChallengeDisposition disposition, URLCredentialPtr credential) {
            io([disposition, credential, space](TaskDriver& driver) {
                switch (disposition) {
                    case URLSessionAuthChallengeDisposition::useCredential:
                        if (credential && credential->user())
                            return driver.continueWithCredential(credential, space.authenticationMethod());
                        return driver.deliverInterceptedResponse();
                    case URLSessionAuthChallengeDisposition::performDefaultHandling: {
                        auto storage = driver.session_->configuration().urlCredentialStorage;
                        auto stored =
                            storage && driver.authFailures_ == 0 ? storage->defaultCredential(space) : nullptr;
                        if (stored) return driver.continueWithCredential(stored, space.authenticationMethod());
                        return driver.deliverInterceptedResponse();
                    }
                    case URLSessionAuthChallengeDisposition::rejectProtectionSpace:
                        return driver.deliverInterceptedResponse();
                    case URLSessionAuthChallengeDisposition::cancelAuthenticationChallenge:
                        return driver.finish(URLError::make(URLError::Code::cancelled, driver.request_.url()));
                }
            });
        });
    credentialSpace_ = space;
    auto task = taskRef_;
    post([task, challenge, answer](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) mutable {
        if (delegate) delegate->didReceiveChallenge(session, task, challenge, answer);
        else answer(URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr);
    });
}

void TaskDriver::continueWithCredential(URLCredentialPtr credential, const std::string& method) {
    ++authFailures_;
    credential_ = std::make_pair(*credential->user(), credential->password().value_or(""));
    credentialMethod_ = method;
    credentialToStore_ = credential->persistence() == URLCredential::Persistence::none ? nullptr : credential;
    startAttempt(request_);
}

void TaskDriver::deliverInterceptedResponse() {
    intercept_ = Intercept::none;
    Data body;
    body.bytes().swap(interceptedBody_.bytes());
    beginBody();
    releaseHeldData();
    if (!recordedError_ && !body.isEmpty()) onWrite(reinterpret_cast<const char*>(body.data()), body.count());
    if (recordedError_) return finish(recordedError_);
    finishSuccess();
}

}  // namespace platform
