// A trust object: the certificates a peer presented, the policies to judge them by and
// the anchors to trust, evaluated by OpenSSL's chain verification.
//
// Revocation: no CRL or OCSP is fetched (there is no network access during evaluation),
// so a revocation policy passes unless it demands a positive response, which then fails
// with errSecIncompleteCertRevocationCheck.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/security/SecCertificate.h"
#include "platform/security/SecPolicy.h"

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

    // Evaluates and answers the status (errSecSuccess when trusted) and the error.
    OSStatus evaluate(ErrorPtr* error);

private:
    std::vector<SecCertificateRef> certificates_;
    std::vector<SecPolicyRef> policies_;
    std::vector<SecCertificateRef> anchors_;
    bool anchorsOnly_ = false;
    std::optional<double> verifyDate_;
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
