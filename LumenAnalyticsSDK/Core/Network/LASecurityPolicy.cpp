// Server-trust evaluation with optional pinning. A public key is compared as its
// SubjectPublicKeyInfo DER, a certificate as its DER bytes.
#include "LumenAnalyticsSDK/Core/Network/LASecurityPolicy.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/NSKeyedArchiver.h"

namespace LumenAnalyticsSDK {

using namespace platform;

namespace {

// The trust result a successful evaluation may have.
bool evaluatesTrusted(const SecTrustRef& trust) {
    SecTrustResultType result = SecTrustResultType::invalid;
    return SecTrustEvaluate(trust, &result) == errSecSuccess &&
           (result == SecTrustResultType::proceed || result == SecTrustResultType::unspecified);
}

// The key of one certificate, taken through a trust of that certificate alone as the
// platform hands keys out; none when the certificate cannot be evaluated at all.
std::optional<Data> publicKeyOf(const SecCertificateRef& certificate) {
    SecTrustRef trust;
    if (!certificate ||
        SecTrustCreateWithCertificates({certificate}, {SecPolicyCreateBasicX509()}, &trust) != errSecSuccess)
        return std::nullopt;
    SecTrustResultType result = SecTrustResultType::invalid;
    if (SecTrustEvaluate(trust, &result) != errSecSuccess) return std::nullopt;
    auto key = SecTrustCopyKey(trust);
    if (!key) return std::nullopt;
    return key->subjectPublicKeyInfo();
}

}  // namespace

LASecurityPolicyPtr LASecurityPolicy::defaultPolicy() { return std::make_shared<LASecurityPolicy>(); }

LASecurityPolicyPtr LASecurityPolicy::policyWithPinningMode(LASSLPinningMode mode) {
    return policyWithPinningMode(mode, defaultPinnedCertificates());
}

LASecurityPolicyPtr LASecurityPolicy::policyWithPinningMode(LASSLPinningMode mode, LADERSet pinnedCertificates) {
    auto policy = std::make_shared<LASecurityPolicy>();
    policy->setSSLPinningMode(mode);
    policy->setPinnedCertificates(std::move(pinnedCertificates));
    return policy;
}

const LADERSet& LASecurityPolicy::defaultPinnedCertificates() {
    static std::once_flag once;
    static LADERSet* certificates = nullptr;
    std::call_once(once, [] {
        auto bundle = Bundle::main();
        certificates = new LADERSet(bundle ? certificatesInBundle(*bundle) : LADERSet{});
    });
    return *certificates;
}

LADERSet LASecurityPolicy::certificatesInBundle(const Bundle& bundle) {
    LADERSet certificates;
    for (const auto& path : bundle.paths("cer", "."))
        if (auto contents = FileManager::defaultManager()->contents(path)) certificates.insert(std::move(*contents));
    return certificates;
}

LASecurityPolicyPtr LASecurityPolicy::copy() const {
    auto policy = std::make_shared<LASecurityPolicy>();
    policy->setSSLPinningMode(pinningMode_);
    policy->setAllowInvalidCertificates(allowInvalidCertificates_);
    policy->setValidatesDomainName(validatesDomainName_);
    policy->setPinnedCertificates(pinnedCertificates_);
    return policy;
}

Data LASecurityPolicy::archivedData() const {
    Value::Dictionary fields{{"SSLPinningMode", Value(static_cast<std::uint64_t>(pinningMode_))},
                             {"allowInvalidCertificates", Value(allowInvalidCertificates_)},
                             {"validatesDomainName", Value(validatesDomainName_)}};
    if (pinnedCertificates_) {
        Value::Array certificates;
        for (const auto& der : *pinnedCertificates_) certificates.emplace_back(der);
        fields["pinnedCertificates"] = Value(std::move(certificates));
    }
    auto archive = NSKeyedArchiver::archivedData(Value(std::move(fields)));
    return archive.isSuccess() ? archive.value() : Data();
}

LASecurityPolicyPtr LASecurityPolicy::policyWithArchivedData(const Data& archive) {
    auto decoded = NSKeyedUnarchiver::unarchivedObject(archive);
    if (!decoded.isSuccess() || !decoded.value().isDictionary()) return nullptr;
    const Value& fields = decoded.value();
    auto policy = std::make_shared<LASecurityPolicy>();
    // A mode this build does not know stays as it is and trusts nothing.
    auto mode = fields["SSLPinningMode"].asUInt64().value_or(0);
    policy->setSSLPinningMode(static_cast<LASSLPinningMode>(std::min<std::uint64_t>(mode, UINT32_MAX)));
    policy->setAllowInvalidCertificates(fields["allowInvalidCertificates"].asBool().value_or(false));
    policy->setValidatesDomainName(fields["validatesDomainName"].asBool().value_or(false));
    if (const auto* certificates = fields["pinnedCertificates"].asArray()) {
        LADERSet pinned;
        for (const auto& item : *certificates)
            if (const auto* der = item.asData()) pinned.insert(*der);
        policy->setPinnedCertificates(std::move(pinned));
    }
    return policy;
}

void LASecurityPolicy::setPinnedCertificates(std::optional<LADERSet> certificates) {
    pinnedCertificates_ = std::move(certificates);
    if (!pinnedCertificates_) {
        pinnedPublicKeys_.reset();
        return;
    }
    LADERSet keys;
    for (const auto& der : *pinnedCertificates_)
        if (auto key = publicKeyOf(SecCertificateCreateWithData(der))) keys.insert(std::move(*key));
    pinnedPublicKeys_ = std::move(keys);
}

bool LASecurityPolicy::evaluateServerTrust(const SecTrustRef& serverTrust,
                                           const std::optional<std::string>& domain) const {
    if (!serverTrust) return false;
    bool pinning =
        pinningMode_ != LASSLPinningMode::LASSLPinningModeNone && pinnedCertificates_ && !pinnedCertificates_->empty();
    if (domain && allowInvalidCertificates_ && validatesDomainName_ && !pinning) {
        // A self-signed certificate says nothing about the host it names unless pinned.
        LALogDebug("In order to validate a domain name for self signed certificates, you MUST use pinning.");
        return false;
    }
    SecTrustSetPolicies(serverTrust,
                        validatesDomainName_ ? SecPolicyCreateSSL(true, domain) : SecPolicyCreateBasicX509());
    switch (pinningMode_) {
        case LASSLPinningMode::LASSLPinningModeNone: return allowInvalidCertificates_ || evaluatesTrusted(serverTrust);
        case LASSLPinningMode::LASSLPinningModePublicKey:
            if (!evaluatesTrusted(serverTrust) && !allowInvalidCertificates_) return false;
            return evaluatePublicKeyPinning(serverTrust);
        case LASSLPinningMode::LASSLPinningModeCertificate:
            if (!evaluatesTrusted(serverTrust) && !allowInvalidCertificates_) return false;
            return evaluateCertificatePinning(serverTrust);
    }
    return false;
}

bool LASecurityPolicy::evaluatePublicKeyPinning(const SecTrustRef& serverTrust) const {
    if (!pinnedPublicKeys_) return false;
    for (const auto& certificate : SecTrustCopyCertificateChain(serverTrust)) {
        auto key = publicKeyOf(certificate);
        if (key && pinnedPublicKeys_->count(*key)) return true;
    }
    return false;
}

bool LASecurityPolicy::evaluateCertificatePinning(const SecTrustRef& serverTrust) const {
    if (!pinnedCertificates_) return false;
    std::vector<SecCertificateRef> anchors;
    for (const auto& der : *pinnedCertificates_)
        if (auto certificate = SecCertificateCreateWithData(der)) anchors.push_back(certificate);
    SecTrustSetAnchorCertificates(serverTrust, anchors);
    if (!evaluatesTrusted(serverTrust)) return false;
    auto chain = SecTrustCopyCertificateChain(serverTrust);
    // From the root end: the first pinned certificate met settles it.
    for (auto certificate = chain.rbegin(); certificate != chain.rend(); ++certificate)
        if (*certificate && pinnedCertificates_->count((*certificate)->data())) return true;
    return false;
}

}  // namespace LumenAnalyticsSDK
