// Trust evaluation over OpenSSL's X509_verify_cert, then the revocation check a
// revocation policy asks for.
#include "platform/security/SecTrust.h"

#include <arpa/inet.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include "platform/security/SecRevocation.h"

namespace platform {

namespace {

struct StoreContext {
    X509_STORE* store = X509_STORE_new();
    X509_STORE_CTX* ctx = X509_STORE_CTX_new();
    STACK_OF(X509) * untrusted = sk_X509_new_null();
    ~StoreContext() {
        X509_STORE_CTX_free(ctx);
        X509_STORE_free(store);
        sk_X509_free(untrusted);
    }
};

bool isIPAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

OSStatus statusForVerifyError(int error) {
    switch (error) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CRL_HAS_EXPIRED: return errSecCertificateExpired;
        case X509_V_ERR_CERT_NOT_YET_VALID:
        case X509_V_ERR_CRL_NOT_YET_VALID: return errSecCertificateNotValidYet;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH: return errSecHostNameMismatch;
        case X509_V_ERR_CERT_REVOKED: return errSecCertificateRevoked;
        default: return errSecNotTrusted;
    }
}

ErrorPtr trustError(OSStatus status, const std::string& subject, const std::string& detail) {
    std::string sentence;
    switch (status) {
        case errSecCertificateExpired: sentence = "“" + subject + "” certificate is expired"; break;
        case errSecCertificateNotValidYet: sentence = "“" + subject + "” certificate is not yet valid"; break;
        case errSecHostNameMismatch: sentence = "“" + subject + "” certificate name does not match input"; break;
        case errSecCertificateRevoked: sentence = "“" + subject + "” certificate is revoked"; break;
        case errSecIncompleteCertRevocationCheck:
            sentence = "“" + subject + "” certificate revocation status could not be checked";
            break;
        default: sentence = "“" + subject + "” certificate is not trusted"; break;
    }
    return NSError::make(NSOSStatusErrorDomain, status,
                         {{NSLocalizedDescriptionKey, Value(sentence)}, {NSDebugDescriptionErrorKey, Value(detail)}});
}

}  // namespace

std::vector<SecCertificateRef> SecTrust::certificateChain() const { return chain_.empty() ? certificates_ : chain_; }

bool SecTrust::fillStore(X509_STORE* store) const {
    for (auto& anchor : anchors_)
        if (X509_STORE_add_cert(store, anchor->x509()) != 1) return false;
    if (anchors_.empty() || !anchorsOnly_) X509_STORE_set_default_paths(store);
    // Set on the store as well as on each verification, so the verification of an OCSP
    // answer's signer judges by the same rules and the same time.
    X509_VERIFY_PARAM* param = X509_STORE_get0_param(store);
    // A custom anchor need not be self-signed: a pinned leaf or intermediate is trusted
    // as it stands.
    if (!anchors_.empty()) X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
    if (verifyDate_) X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(*verifyDate_));
    return true;
}

bool SecTrust::prepareVerification(X509_STORE_CTX* ctx, X509_STORE* store, STACK_OF(X509) * untrusted) const {
    if (X509_STORE_CTX_init(ctx, store, certificates_.front()->x509(), untrusted) != 1) return false;
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx);
    if (!anchors_.empty()) X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
    if (verifyDate_) X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(*verifyDate_));
    for (auto& policy : policies_) {
        if (!policy || policy->kind() != SecPolicy::Kind::ssl) continue;
        X509_STORE_CTX_set_purpose(ctx, policy->isServer() ? X509_PURPOSE_SSL_SERVER : X509_PURPOSE_SSL_CLIENT);
        if (auto host = policy->hostname(); host && !host->empty()) {
            if (isIPAddress(*host)) X509_VERIFY_PARAM_set1_ip_asc(param, host->c_str());
            else X509_VERIFY_PARAM_set1_host(param, host->c_str(), host->size());
        }
    }
    return true;
}

std::optional<std::uint64_t> SecTrust::revocationFlags() const {
    std::optional<std::uint64_t> flags;
    for (auto& policy : policies_)
        if (policy && policy->kind() == SecPolicy::Kind::revocation)
            flags = flags.value_or(0) | policy->revocationFlags();
    return flags;
}

void SecTrust::keepBuiltChain(X509_STORE_CTX* ctx) {
    chain_.clear();
    if (STACK_OF(X509)* built = X509_STORE_CTX_get1_chain(ctx)) {
        for (int i = 0; i < sk_X509_num(built); ++i)
            chain_.push_back(SecCertificate::fromX509(sk_X509_value(built, i)));
        sk_X509_pop_free(built, X509_free);
    }
}

OSStatus SecTrust::evaluate(ErrorPtr* error) {
    if (error) *error = nullptr;
    if (certificates_.empty()) {
        if (error) *error = trustError(errSecNotTrusted, "", "no certificates");
        return errSecNotTrusted;
    }
    StoreContext sc;
    if (!sc.store || !sc.ctx || !sc.untrusted || !fillStore(sc.store)) return errSecAllocate;
    for (std::size_t i = 1; i < certificates_.size(); ++i) sk_X509_push(sc.untrusted, certificates_[i]->x509());
    if (!prepareVerification(sc.ctx, sc.store, sc.untrusted)) return errSecAllocate;

    int ok = X509_verify_cert(sc.ctx);
    keepBuiltChain(sc.ctx);
    if (ok != 1) {
        int verifyError = X509_STORE_CTX_get_error(sc.ctx);
        OSStatus status = statusForVerifyError(verifyError);
        if (error)
            *error =
                trustError(status, certificates_.front()->subjectSummary(), X509_verify_cert_error_string(verifyError));
        return status;
    }
    if (auto flags = revocationFlags()) return checkRevocation(*flags, sc.store, sc.untrusted, error);
    return errSecSuccess;
}

OSStatus SecTrust::checkRevocation(std::uint64_t flags, X509_STORE* store, STACK_OF(X509) * untrusted,
                                   ErrorPtr* error) const {
    revocation::Check check;
    check.flags = flags;
    for (auto& certificate : chain_) check.chain.push_back(certificate->x509());
    check.stapledResponse = ocspResponse_;
    check.store = store;
    check.prepareVerification = [&](X509_STORE_CTX* ctx) { return prepareVerification(ctx, store, untrusted); };
    auto outcome = revocation::checkRevocation(check);
    auto subject = [&] { return SecCertificate::fromX509(outcome.certificate)->subjectSummary(); };
    if (outcome.kind == revocation::Outcome::Kind::revoked) {
        if (error) *error = trustError(errSecCertificateRevoked, subject(), "revoked by its issuer");
        return errSecCertificateRevoked;
    }
    if (outcome.kind == revocation::Outcome::Kind::incomplete && (flags & kSecRevocationRequirePositiveResponse)) {
        if (error)
            *error = trustError(errSecIncompleteCertRevocationCheck, subject(),
                                "no OCSP answer or CRL told this certificate's status");
        return errSecIncompleteCertRevocationCheck;
    }
    return errSecSuccess;
}

OSStatus SecTrustCreateWithCertificates(std::vector<SecCertificateRef> certificates, std::vector<SecPolicyRef> policies,
                                        SecTrustRef* trust) {
    if (!trust || certificates.empty()) return errSecParam;
    for (auto& c : certificates)
        if (!c) return errSecParam;
    if (policies.empty()) policies.push_back(SecPolicyCreateBasicX509());
    *trust = std::make_shared<SecTrust>(std::move(certificates), std::move(policies));
    return errSecSuccess;
}

OSStatus SecTrustSetPolicies(const SecTrustRef& trust, std::vector<SecPolicyRef> policies) {
    if (!trust) return errSecParam;
    for (auto& p : policies)
        if (!p) return errSecParam;
    trust->setPolicies(std::move(policies));
    return errSecSuccess;
}

OSStatus SecTrustSetPolicies(const SecTrustRef& trust, SecPolicyRef policy) {
    if (!policy) return errSecParam;
    return SecTrustSetPolicies(trust, std::vector<SecPolicyRef>{std::move(policy)});
}

std::vector<SecPolicyRef> SecTrustCopyPolicies(const SecTrustRef& trust) {
    return trust ? trust->policies() : std::vector<SecPolicyRef>{};
}

OSStatus SecTrustSetAnchorCertificates(const SecTrustRef& trust, std::vector<SecCertificateRef> anchors) {
    if (!trust) return errSecParam;
    for (auto& c : anchors)
        if (!c) return errSecParam;
    trust->setAnchors(std::move(anchors));
    return errSecSuccess;
}

OSStatus SecTrustSetAnchorCertificatesOnly(const SecTrustRef& trust, bool anchorsOnly) {
    if (!trust) return errSecParam;
    trust->setAnchorsOnly(anchorsOnly);
    return errSecSuccess;
}

bool SecTrustEvaluateWithError(const SecTrustRef& trust, ErrorPtr* error) {
    if (!trust) {
        if (error) *error = NSError::make(NSOSStatusErrorDomain, errSecParam);
        return false;
    }
    return trust->evaluate(error) == errSecSuccess;
}

OSStatus SecTrustEvaluate(const SecTrustRef& trust, SecTrustResultType* result) {
    if (!trust || !result) return errSecParam;
    OSStatus status = trust->evaluate(nullptr);
    if (status == errSecAllocate) return status;
    *result = status == errSecSuccess ? SecTrustResultType::unspecified : SecTrustResultType::recoverableTrustFailure;
    return errSecSuccess;
}

OSStatus SecTrustSetOCSPResponse(const SecTrustRef& trust, std::optional<Data> response) {
    if (!trust) return errSecParam;
    trust->setOCSPResponse(std::move(response));
    return errSecSuccess;
}

std::vector<SecCertificateRef> SecTrustCopyCertificateChain(const SecTrustRef& trust) {
    return trust ? trust->certificateChain() : std::vector<SecCertificateRef>{};
}

long SecTrustGetCertificateCount(const SecTrustRef& trust) {
    return static_cast<long>(SecTrustCopyCertificateChain(trust).size());
}

SecCertificateRef SecTrustGetCertificateAtIndex(const SecTrustRef& trust, long index) {
    auto chain = SecTrustCopyCertificateChain(trust);
    if (index < 0 || index >= static_cast<long>(chain.size())) return nullptr;
    return chain[static_cast<std::size_t>(index)];
}

SecKeyRef SecTrustCopyKey(const SecTrustRef& trust) {
    auto chain = SecTrustCopyCertificateChain(trust);
    return chain.empty() ? nullptr : SecCertificateCopyKey(chain.front());
}

}  // namespace platform
