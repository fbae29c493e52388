// Server trust in the TLS handshake: the presented chain becomes a SecTrust, the
// delegate is asked, and the default handling evaluates it for the host.
#include "platform/net/TaskDriver.h"

#include <condition_variable>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "platform/net/CurlEngine.h"
#include "platform/net/TaskDriverSupport.h"
#include "platform/net/URLError.h"

namespace platform {

using namespace driver;

namespace {

URLErrorPtr trustFailure(const ErrorPtr& evaluation, const URL& url) {
    auto code = URLError::Code::serverCertificateUntrusted;
    if (evaluation && evaluation->code() == errSecCertificateExpired)
        code = URLError::Code::serverCertificateHasBadDate;
    if (evaluation && evaluation->code() == errSecCertificateNotValidYet)
        code = URLError::Code::serverCertificateNotYetValid;
    return URLError::make(code, url, {}, evaluation);
}

// The OCSP answer the server stapled to the handshake, when it sent one before its
// certificate is judged (TLS 1.3 carries it with the certificate).
std::optional<Data> stapledOCSPResponse(X509_STORE_CTX* store) {
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    const unsigned char* bytes = nullptr;
    long length = ssl ? SSL_get_tlsext_status_ocsp_resp(ssl, &bytes) : -1;
    if (length <= 0 || !bytes) return std::nullopt;
    return Data(bytes, static_cast<std::size_t>(length));
}

}  // namespace

int TaskDriver::sslContextCallback(CURL*, void* sslContext, void* self) {
    auto* ctx = static_cast<SSL_CTX*>(sslContext);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // Ask for a stapled OCSP answer, so a revocation policy can use it.
    SSL_CTX_set_tlsext_status_type(ctx, TLSEXT_STATUSTYPE_ocsp);
    SSL_CTX_set_cert_verify_callback(ctx, &TaskDriver::verifyCallback, self);
    return CURLE_OK;
}

int TaskDriver::verifyCallback(X509_STORE_CTX* store, void* self) {
    return static_cast<TaskDriver*>(self)->evaluateServerTrust(store) ? 1 : 0;
}

bool TaskDriver::evaluateServerTrust(X509_STORE_CTX* store) {
    std::vector<SecCertificateRef> chain;
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (auto cert = SecCertificate::fromX509(leaf)) chain.push_back(cert);
    if (STACK_OF(X509)* presented = X509_STORE_CTX_get0_untrusted(store))
        for (int i = 0; i < sk_X509_num(presented); ++i) {
            X509* c = sk_X509_value(presented, i);
            if (X509_cmp(c, leaf) != 0) chain.push_back(SecCertificate::fromX509(c));
        }
    const URL& url = *request_.url();
    std::string host = url.host().value_or("");
    SecTrustRef trust;
    if (SecTrustCreateWithCertificates(chain, {SecPolicyCreateSSL(true, host)}, &trust) != errSecSuccess) {
        recordedError_ = URLError::make(URLError::Code::secureConnectionFailed, url);
        return false;
    }
    SecTrustSetOCSPResponse(trust, stapledOCSPResponse(store));
    auto disposition = URLSessionAuthChallengeDisposition::performDefaultHandling;
    URLCredentialPtr credential;
    if (hasDelegate_) {
        struct Answer {
            std::mutex mutex;
            std::condition_variable ready;
            bool done = false;
            URLSessionAuthChallengeDisposition disposition{};
            URLCredentialPtr credential;
        };
        auto answer = std::make_shared<Answer>();
        auto challenge = std::make_shared<URLAuthenticationChallenge>(
            URLProtectionSpace(host, defaultPort(url), std::string("https"), std::nullopt,
                               NSURLAuthenticationMethodServerTrust, trust),
            nullptr, 0, nullptr, nullptr);
        auto handler = once([answer](URLSessionAuthChallengeDisposition d, URLCredentialPtr c) {
            std::lock_guard lock(answer->mutex);
            answer->disposition = d;
            answer->credential = std::move(c);
            answer->done = true;
            answer->ready.notify_all();
        });
        auto task = taskRef_;
        post([task, challenge, handler](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) mutable {
            if (delegate) delegate->didReceiveChallenge(session, task, challenge, handler);
            else handler(URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr);
        });
        // The handshake waits here for the answer; a cancel of the task or the end of the
        // engine (its session's, or the process's) ends the wait.
        std::unique_lock lock(answer->mutex);
        while (!answer->done) {
            if (task_->cancelRequested_ || engine_->isStopping()) {
                recordedError_ = URLError::make(URLError::Code::cancelled, url);
                return false;
            }
            answer->ready.wait_for(lock, std::chrono::milliseconds(50));
        }
        disposition = answer->disposition;
        credential = answer->credential;
    }
    switch (disposition) {
        case URLSessionAuthChallengeDisposition::useCredential:
            if (credential && credential->serverTrust()) return true;
            break;
        case URLSessionAuthChallengeDisposition::cancelAuthenticationChallenge:
            recordedError_ = URLError::make(URLError::Code::cancelled, url);
            return false;
        default: break;
    }
    ErrorPtr evaluation;
    if (SecTrustEvaluateWithError(trust, &evaluation)) return true;
    recordedError_ = trustFailure(evaluation, url);
    return false;
}

}  // namespace platform
