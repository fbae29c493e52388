// A trust object: the certificates a peer presented, the policies to judge them by and
// the anchors to trust, evaluated by OpenSSL's chain verification.
//
// Revocation: with a revocation policy, every certificate of the verified chain but the
// anchor is checked, by a stapled OCSP answer (the leaf's), the OCSP responders and the
// CRL distribution points each certificate names (plain HTTP, bounded in time and size;
// see SecRevocation.h and RevocationFetcher.h). A certificate known to be revoked fails with
// errSecCertificateRevoked. When a status cannot be learned the policy passes, unless it
// demands a positive response: then errSecIncompleteCertRevocationCheck. The network
// fetches block the calling thread for at most about ten seconds in all.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Error.h"
#include "platform/security/SecCertificate.h"
#include "platform/security/SecPolicy.h"

typedef struct x509_store_st X509_STORE;
typedef struct x509_store_ctx_st X509_STORE_CTX;
typedef struct stack_st_X509 STACK_OF_X509;

namespace platform {

enum class SecTrustResultType : std::uint32_t {
    invalid = 0,
    proceed = 1,
    deny = 3,
    unspecified = 4,
    recoverableTrustFailure = 5,
    fatalTrustFailure = 6,
    otherError = 7,
};

class SecTrust {
public:
    SecTrust(std::vector<SecCertificateRef> certificates, std::vector<SecPolicyRef> policies)
        : certificates_(std::move(certificates)), policies_(std::move(policies)) {}

    // The presented certificates, leaf first; after an evaluation, the chain it built
    // (leaf to anchor).
    std::vector<SecCertificateRef> certificateChain() const;
    const std::vector<SecPolicyRef>& policies() const { return policies_; }
    void setPolicies(std::vector<SecPolicyRef> policies) {
        policies_ = std::move(policies);
        chain_.clear();
    }
    void setAnchors(std::vector<SecCertificateRef> anchors) {
        anchors_ = std::move(anchors);
        anchorsOnly_ = true;
        chain_.clear();
    }
    void setAnchorsOnly(bool only) {
        anchorsOnly_ = only;
        chain_.clear();
    }
    // Evaluation time; the current time when none is set.
    void setVerifyDate(std::optional<double> secondsSince1970) { verifyDate_ = secondsSince1970; }
    // The DER OCSP answer for the leaf that the server stapled to the handshake.
    void setOCSPResponse(std::optional<Data> response) { ocspResponse_ = std::move(response); }

    // Evaluates and answers the status (errSecSuccess when trusted) and the error.
    OSStatus evaluate(ErrorPtr* error);

private:
    bool fillStore(X509_STORE* store) const;
    bool prepareVerification(X509_STORE_CTX* ctx, X509_STORE* store, STACK_OF_X509* untrusted) const;
    void keepBuiltChain(X509_STORE_CTX* ctx);
    // The flags of the revocation policies, joined; none without one.
    std::optional<std::uint64_t> revocationFlags() const;
    OSStatus checkRevocation(std::uint64_t flags, X509_STORE* store, STACK_OF_X509* untrusted, ErrorPtr* error) const;

    std::vector<SecCertificateRef> certificates_;
    std::vector<SecPolicyRef> policies_;
    std::vector<SecCertificateRef> anchors_;
    bool anchorsOnly_ = false;
    std::optional<double> verifyDate_;
    std::optional<Data> ocspResponse_;
    std::vector<SecCertificateRef> chain_;
};

OSStatus SecTrustCreateWithCertificates(std::vector<SecCertificateRef> certificates, std::vector<SecPolicyRef> policies,
                                        SecTrustRef* trust);
OSStatus SecTrustSetPolicies(const SecTrustRef& trust, std::vector<SecPolicyRef> policies);
OSStatus SecTrustSetPolicies(const SecTrustRef& trust, SecPolicyRef policy);
std::vector<SecPolicyRef> SecTrustCopyPolicies(const SecTrustRef& trust);
// Sets the anchors and makes them the only ones; SecTrustSetAnchorCertificatesOnly(false)
// adds the system's anchors back.
OSStatus SecTrustSetAnchorCertificates(const SecTrustRef& trust, std::vector<SecCertificateRef> anchors);
OSStatus SecTrustSetAnchorCertificatesOnly(const SecTrustRef& trust, bool anchorsOnly);
// A stapled OCSP answer (DER) for the revocation check; none removes it.
OSStatus SecTrustSetOCSPResponse(const SecTrustRef& trust, std::optional<Data> response);
// True when trusted; otherwise false with an error in the OS-status domain.
bool SecTrustEvaluateWithError(const SecTrustRef& trust, ErrorPtr* error);
// The older form: the status of the call and the trust result.
OSStatus SecTrustEvaluate(const SecTrustRef& trust, SecTrustResultType* result);
std::vector<SecCertificateRef> SecTrustCopyCertificateChain(const SecTrustRef& trust);
long SecTrustGetCertificateCount(const SecTrustRef& trust);
SecCertificateRef SecTrustGetCertificateAtIndex(const SecTrustRef& trust, long index);
// The leaf certificate's public key.
SecKeyRef SecTrustCopyKey(const SecTrustRef& trust);

}  // namespace platform
