// Decides whether a server's certificate chain is trusted: the system's trust with the
// host name checked, optionally narrowed to pinned certificates or pinned public keys.
#pragma once
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/base/Data.h"
#include "platform/files/Bundle.h"
#include "platform/security/SecTrust.h"

namespace LumenAnalyticsSDK {

enum class LASSLPinningMode : unsigned {
    LASSLPinningModeNone = 0,
    LASSLPinningModePublicKey = 1,
    LASSLPinningModeCertificate = 2,
};

class LASecurityPolicy;
using LASecurityPolicyPtr = std::shared_ptr<LASecurityPolicy>;

class LASecurityPolicy {
public:
    // No pinning; the chain must be trusted by the system and issued for the host.
    static LASecurityPolicyPtr defaultPolicy();
    // Pins the ".cer" files (DER) among the main bundle's resources.
    static LASecurityPolicyPtr policyWithPinningMode(LASSLPinningMode mode);
    static LASecurityPolicyPtr policyWithPinningMode(LASSLPinningMode mode, std::set<platform::Data> pinnedCertificates);
    // Read once for the process.
    static const std::set<platform::Data>& defaultPinnedCertificates();
    static std::set<platform::Data> certificatesInBundle(const platform::Bundle& bundle);

    LASecurityPolicy() = default;
    LASecurityPolicyPtr copy() const;

    // True when the chain in `serverTrust` may be trusted for `domain` (none: no host
    // name check). May change the trust's policies and anchors.
    bool evaluateServerTrust(const platform::SecTrustRef& serverTrust, const std::optional<std::string>& domain) const;

    bool allowInvalidCertificates() const { return allowInvalidCertificates_; }
    void setAllowInvalidCertificates(bool allow) { allowInvalidCertificates_ = allow; }
    bool validatesDomainName() const { return validatesDomainName_; }
    void setValidatesDomainName(bool validates) { validatesDomainName_ = validates; }
    LASSLPinningMode SSLPinningMode() const { return pinningMode_; }
    void setSSLPinningMode(LASSLPinningMode mode) { pinningMode_ = mode; }
    const std::optional<std::set<platform::Data>>& pinnedCertificates() const { return pinnedCertificates_; }
    // Also works out `pinnedPublicKeys`: the keys of the certificates that parse.
    void setPinnedCertificates(std::optional<std::set<platform::Data>> certificates);
    // SubjectPublicKeyInfo DER of each pinned key; none while no certificates are set.
    const std::optional<std::set<platform::Data>>& pinnedPublicKeys() const { return pinnedPublicKeys_; }

private:
    bool evaluatePublicKeyPinning(const platform::SecTrustRef& serverTrust) const;
    bool evaluateCertificatePinning(const platform::SecTrustRef& serverTrust) const;

    bool allowInvalidCertificates_ = false;
    bool validatesDomainName_ = true;
    LASSLPinningMode pinningMode_ = LASSLPinningMode::LASSLPinningModeNone;
    std::optional<std::set<platform::Data>> pinnedCertificates_;
    std::optional<std::set<platform::Data>> pinnedPublicKeys_;
};

}  // namespace LumenAnalyticsSDK
