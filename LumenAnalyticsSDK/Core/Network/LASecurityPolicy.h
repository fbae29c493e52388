// Decides whether a server's certificate chain is trusted: the system's trust with the
// host name checked, optionally narrowed to pinned certificates or pinned public keys.
#pragma once
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Value.h"
#include "platform/files/Bundle.h"
#include "platform/security/SecTrust.h"

namespace LumenAnalyticsSDK {

enum class LASSLPinningMode : unsigned {
    LASSLPinningModeNone = 0,
    LASSLPinningModePublicKey = 1,
    LASSLPinningModeCertificate = 2,
};

// Orders DER blobs by length, then bytes (enough for a set, and cheap).
struct LADERLess {
    bool operator()(const platform::Data& a, const platform::Data& b) const {
        if (a.size() != b.size()) return a.size() < b.size();
        return a.size() && std::memcmp(a.data(), b.data(), a.size()) < 0;
    }
};
// Certificates or public keys as DER.
using LADERSet = std::set<platform::Data, LADERLess>;

class LASecurityPolicy;
using LASecurityPolicyPtr = std::shared_ptr<LASecurityPolicy>;

class LASecurityPolicy {
public:
    // No pinning; the chain must be trusted by the system and issued for the host.
    static LASecurityPolicyPtr defaultPolicy();
    // Pins the ".cer" files (DER) among the main bundle's resources.
    static LASecurityPolicyPtr policyWithPinningMode(LASSLPinningMode mode);
    static LASecurityPolicyPtr policyWithPinningMode(LASSLPinningMode mode, LADERSet pinnedCertificates);
    // Read once for the process.
    static const LADERSet& defaultPinnedCertificates();
    static LADERSet certificatesInBundle(const platform::Bundle& bundle);

    LASecurityPolicy() = default;
    LASecurityPolicyPtr copy() const;

    // Keyed archive under the property names ("SSLPinningMode", "allowInvalidCertificates",
    // "validatesDomainName", "pinnedCertificates"); none for data that is not such an
    // archive. Decoding starts from a default policy and goes through the setters.
    platform::Data archivedData() const;
    static LASecurityPolicyPtr policyWithArchivedData(const platform::Data& archive);

    // True when the chain in `serverTrust` may be trusted for `domain` (none: no host
    // name check). May change the trust's policies and anchors.
    bool evaluateServerTrust(const platform::SecTrustRef& serverTrust, const std::optional<std::string>& domain) const;

    bool allowInvalidCertificates() const { return allowInvalidCertificates_; }
    void setAllowInvalidCertificates(bool allow) { allowInvalidCertificates_ = allow; }
    bool validatesDomainName() const { return validatesDomainName_; }
    void setValidatesDomainName(bool validates) { validatesDomainName_ = validates; }
    LASSLPinningMode SSLPinningMode() const { return pinningMode_; }
    void setSSLPinningMode(LASSLPinningMode mode) { pinningMode_ = mode; }
    const std::optional<LADERSet>& pinnedCertificates() const { return pinnedCertificates_; }
    // Also works out `pinnedPublicKeys`: the keys of the certificates that parse.
    void setPinnedCertificates(std::optional<LADERSet> certificates);
    // SubjectPublicKeyInfo DER of each pinned key; none while no certificates are set.
    const std::optional<LADERSet>& pinnedPublicKeys() const { return pinnedPublicKeys_; }

private:
    bool evaluatePublicKeyPinning(const platform::SecTrustRef& serverTrust) const;
    bool evaluateCertificatePinning(const platform::SecTrustRef& serverTrust) const;

    bool allowInvalidCertificates_ = false;
    bool validatesDomainName_ = true;
    LASSLPinningMode pinningMode_ = LASSLPinningMode::LASSLPinningModeNone;
    std::optional<LADERSet> pinnedCertificates_;
    std::optional<LADERSet> pinnedPublicKeys_;
};

}  // namespace LumenAnalyticsSDK
