// Judging a TLS server's certificate chain: the trust, policy and certificate operations
// the evaluators share, the six evaluators, and certificate and key discovery in a bundle.
// Every rejection is serverTrustEvaluationFailed with the reason that names the step.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Hawser/HWError.h"
#include "Hawser/ServerTrustManager.h"
#include "platform/files/Bundle.h"
#include "platform/security/SecCertificate.h"
#include "platform/security/SecPolicy.h"
#include "platform/security/SecTrust.h"

namespace Hawser {

namespace hw {
using platform::SecCertificateRef;
using platform::SecKeyRef;
using platform::SecPolicyRef;
using platform::SecTrustRef;

// Evaluates; on rejection throws trustEvaluationFailed with the platform's error.
void evaluate(const SecTrustRef& trust);
// Sets the policy; a non-zero status throws policyApplicationFailed. Returns the trust.
SecTrustRef apply(const SecTrustRef& trust, const SecPolicyRef& policy);
void evaluate(const SecTrustRef& trust, const SecPolicyRef& afterApplying);
// Under the host-less TLS policy (the host is not looked at).
void performDefaultValidation(const SecTrustRef& trust, const std::string& forHost);
// Under the TLS policy for the host.
void performValidation(const SecTrustRef& trust, const std::string& forHost);
// The certificates become the only anchors; a failure throws settingAnchorCertificatesFailed.
void setAnchorCertificates(const SecTrustRef& trust, const std::vector<SecCertificateRef>& certificates);
// The older path: passes only for status 0 with a proceed or unspecified result;
// otherwise throws what `errorProducer` makes of (status, result).
using TrustErrorProducer = std::function<platform::ErrorPtr(platform::OSStatus, platform::SecTrustResultType)>;
void validate(const SecTrustRef& trust, const TrustErrorProducer& errorProducer);
void validate(const SecTrustRef& trust, const SecPolicyRef& policy, const TrustErrorProducer& errorProducer);

std::vector<SecCertificateRef> certificates(const SecTrustRef& trust);
std::vector<platform::Data> certificateData(const SecTrustRef& trust);
std::vector<platform::Data> data(const std::vector<SecCertificateRef>& certificates);
// Each certificate's key through a basic X.509 trust; certificates without one are skipped.
std::vector<SecKeyRef> publicKeys(const SecTrustRef& trust);
std::vector<SecKeyRef> publicKeys(const std::vector<SecCertificateRef>& certificates);
SecKeyRef publicKey(const SecCertificateRef& certificate);

// SSL, server side, no host: made once per process.
const SecPolicyRef& defaultPolicy();
SecPolicyRef hostnamePolicy(const std::string& host);
// None from the platform throws revocationPolicyCreationFailed.
SecPolicyRef revocationPolicy(RevocationTrustEvaluatorOptions options);

inline bool isSuccess(platform::OSStatus status) { return status == 0; }
inline bool isSuccess(platform::SecTrustResultType result) {
    return result == platform::SecTrustResultType::unspecified || result == platform::SecTrustResultType::proceed;
}

// The DER certificates among the bundle's .cer/.crt/.der resources (either letter case);
// unreadable files and files that are not one certificate are skipped.
std::vector<SecCertificateRef> certificates(const platform::Bundle& bundle);
std::vector<SecKeyRef> publicKeys(const platform::Bundle& bundle);
}  // namespace hw

class DefaultTrustEvaluator : public ServerTrustEvaluating {
public:
    explicit DefaultTrustEvaluator(bool validateHost = true) : validateHost(validateHost) {}
    const bool validateHost;
    void evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const override;
};

class RevocationTrustEvaluator : public ServerTrustEvaluating {
public:
    using Options = RevocationTrustEvaluatorOptions;
    static constexpr Options ocsp{1};
    static constexpr Options crl{2};
    static constexpr Options preferCRL{4};
    static constexpr Options requirePositiveResponse{8};
    static constexpr Options networkAccessDisabled{16};
    static constexpr Options any{3};

    explicit RevocationTrustEvaluator(bool performDefaultValidation = true, bool validateHost = true,
                                      Options options = any)
        : performDefaultValidation(performDefaultValidation), validateHost(validateHost), options(options) {}
    const bool performDefaultValidation;
    const bool validateHost;
    const Options options;
    void evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const override;
};

class PinnedCertificatesTrustEvaluator : public ServerTrustEvaluating {
public:
    explicit PinnedCertificatesTrustEvaluator(
        std::vector<platform::SecCertificateRef> certificates = hw::certificates(*platform::Bundle::main()),
        bool acceptSelfSignedCertificates = false, bool performDefaultValidation = true, bool validateHost = true);
    const std::vector<platform::SecCertificateRef> certificates;
    const bool acceptSelfSignedCertificates;
    const bool performDefaultValidation;
    const bool validateHost;
    void evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const override;
};

class PublicKeysTrustEvaluator : public ServerTrustEvaluating {
public:
    explicit PublicKeysTrustEvaluator(std::vector<platform::SecKeyRef> keys = hw::publicKeys(*platform::Bundle::main()),
                                      bool performDefaultValidation = true, bool validateHost = true)
        : keys(std::move(keys)), performDefaultValidation(performDefaultValidation), validateHost(validateHost) {}
    const std::vector<platform::SecKeyRef> keys;
    const bool performDefaultValidation;
    const bool validateHost;
    void evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const override;
};

// Every evaluator in order; the first rejection ends the evaluation.
class CompositeTrustEvaluator : public ServerTrustEvaluating {
public:
    explicit CompositeTrustEvaluator(std::vector<ServerTrustEvaluatingPtr> evaluators)
        : evaluators(std::move(evaluators)) {}
    const std::vector<ServerTrustEvaluatingPtr> evaluators;
    void evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const override;
};

// Accepts every trust. For testing only: it turns TLS into an unauthenticated channel.
class DisabledTrustEvaluator : public ServerTrustEvaluating {
public:
    void evaluate(const platform::SecTrustRef&, const std::string&) const override {}
};

// The factory forms, with the defaults of the constructors.
inline ServerTrustEvaluatingPtr
revocationChecking(bool performDefaultValidation = true, bool validateHost = true,
                   RevocationTrustEvaluator::Options options = RevocationTrustEvaluator::any) {
    return std::make_shared<RevocationTrustEvaluator>(performDefaultValidation, validateHost, options);
}
inline ServerTrustEvaluatingPtr
pinnedCerts(std::vector<platform::SecCertificateRef> certificates = hw::certificates(*platform::Bundle::main()),
            bool acceptSelfSignedCertificates = false, bool performDefaultValidation = true, bool validateHost = true) {
    return std::make_shared<PinnedCertificatesTrustEvaluator>(std::move(certificates), acceptSelfSignedCertificates,
                                                              performDefaultValidation, validateHost);
}
inline ServerTrustEvaluatingPtr
publicKeys(std::vector<platform::SecKeyRef> keys = hw::publicKeys(*platform::Bundle::main()),
           bool performDefaultValidation = true, bool validateHost = true) {
    return std::make_shared<PublicKeysTrustEvaluator>(std::move(keys), performDefaultValidation, validateHost);
}
inline ServerTrustEvaluatingPtr composite(std::vector<ServerTrustEvaluatingPtr> evaluators) {
    return std::make_shared<CompositeTrustEvaluator>(std::move(evaluators));
}

}  // namespace Hawser
