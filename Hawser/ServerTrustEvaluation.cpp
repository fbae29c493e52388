// The trust evaluators and the trust, policy and certificate operations they share.
#include "Hawser/ServerTrustEvaluation.h"
#include "platform/base/NoDestructor.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

namespace Hawser {

namespace {

[[noreturn]] void reject(ServerTrustFailureReason reason) {
    HWError::serverTrustEvaluationFailed(std::move(reason)).raise();
}

}  // namespace

namespace hw {

void evaluate(const SecTrustRef& trust) {
    platform::ErrorPtr error;
    if (!platform::SecTrustEvaluateWithError(trust, &error))
        reject(ServerTrustFailureReason::TrustEvaluationFailed{error});
}

SecTrustRef apply(const SecTrustRef& trust, const SecPolicyRef& policy) {
    platform::OSStatus status = platform::SecTrustSetPolicies(trust, policy);
    if (!isSuccess(status)) reject(ServerTrustFailureReason::PolicyApplicationFailed{trust, policy, status});
    return trust;
}

void evaluate(const SecTrustRef& trust, const SecPolicyRef& afterApplying) { evaluate(apply(trust, afterApplying)); }

void performDefaultValidation(const SecTrustRef& trust, const std::string&) { evaluate(trust, defaultPolicy()); }

void performValidation(const SecTrustRef& trust, const std::string& forHost) {
    evaluate(trust, hostnamePolicy(forHost));
}

void setAnchorCertificates(const SecTrustRef& trust, const std::vector<SecCertificateRef>& certificates) {
    platform::OSStatus status = platform::SecTrustSetAnchorCertificates(trust, certificates);
    if (isSuccess(status)) status = platform::SecTrustSetAnchorCertificatesOnly(trust, true);
    if (!isSuccess(status)) reject(ServerTrustFailureReason::SettingAnchorCertificatesFailed{status, certificates});
}

void validate(const SecTrustRef& trust, const TrustErrorProducer& errorProducer) {
    platform::SecTrustResultType result = platform::SecTrustResultType::invalid;
    platform::OSStatus status = platform::SecTrustEvaluate(trust, &result);
    if (isSuccess(status) && isSuccess(result)) return;
    throw platform::ErrorException(errorProducer(status, result));
}

void validate(const SecTrustRef& trust, const SecPolicyRef& policy, const TrustErrorProducer& errorProducer) {
    validate(apply(trust, policy), errorProducer);
}

std::vector<SecCertificateRef> certificates(const SecTrustRef& trust) {
    return platform::SecTrustCopyCertificateChain(trust);
}

std::vector<platform::Data> data(const std::vector<SecCertificateRef>& certificates) {
    std::vector<platform::Data> out;
    out.reserve(certificates.size());
    for (const auto& certificate : certificates) out.push_back(platform::SecCertificateCopyData(certificate));
    return out;
}

std::vector<platform::Data> certificateData(const SecTrustRef& trust) { return data(certificates(trust)); }

SecKeyRef publicKey(const SecCertificateRef& certificate) {
    SecTrustRef trust;
    if (!isSuccess(
            platform::SecTrustCreateWithCertificates({certificate}, {platform::SecPolicyCreateBasicX509()}, &trust)) ||
        !trust)
        return nullptr;
    return platform::SecTrustCopyKey(trust);
}

std::vector<SecKeyRef> publicKeys(const std::vector<SecCertificateRef>& certificates) {
    std::vector<SecKeyRef> keys;
    for (const auto& certificate : certificates)
        if (auto key = publicKey(certificate)) keys.push_back(std::move(key));
    return keys;
}

std::vector<SecKeyRef> publicKeys(const SecTrustRef& trust) { return publicKeys(certificates(trust)); }

const SecPolicyRef& defaultPolicy() {
    static const platform::NoDestructor<SecPolicyRef> policy(platform::SecPolicyCreateSSL(true, std::nullopt));
    return *policy;
}

SecPolicyRef hostnamePolicy(const std::string& host) { return platform::SecPolicyCreateSSL(true, host); }

SecPolicyRef revocationPolicy(RevocationTrustEvaluatorOptions options) {
    auto policy = platform::SecPolicyCreateRevocation(options.rawValue);
    if (!policy) reject(ServerTrustFailureReason::RevocationPolicyCreationFailed{});
    return policy;
}

std::vector<SecCertificateRef> certificates(const platform::Bundle& bundle) {
    std::set<std::string> paths;
    for (const char* type : {"cer", "CER", "crt", "CRT", "der", "DER"})
        for (auto& path : bundle.paths(type)) paths.insert(std::move(path));
    std::vector<SecCertificateRef> out;
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) continue;
        if (auto certificate = platform::SecCertificateCreateWithData(platform::Data(std::move(bytes))))
            out.push_back(std::move(certificate));
    }
    return out;
}

std::vector<SecKeyRef> publicKeys(const platform::Bundle& bundle) { return publicKeys(certificates(bundle)); }

}  // namespace hw

void DefaultTrustEvaluator::evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const {
    if (validateHost) hw::performValidation(trust, forHost);
    hw::performDefaultValidation(trust, forHost);
}

void RevocationTrustEvaluator::evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const {
    if (performDefaultValidation) hw::performDefaultValidation(trust, forHost);
    if (validateHost) hw::performValidation(trust, forHost);
    hw::evaluate(trust, hw::revocationPolicy(options));
}

PinnedCertificatesTrustEvaluator::PinnedCertificatesTrustEvaluator(
    std::vector<platform::SecCertificateRef> certificates, bool acceptSelfSignedCertificates,
    bool performDefaultValidation, bool validateHost)
    : certificates(std::move(certificates)), acceptSelfSignedCertificates(acceptSelfSignedCertificates),
      performDefaultValidation(performDefaultValidation), validateHost(validateHost) {}

void PinnedCertificatesTrustEvaluator::evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const {
    if (certificates.empty()) reject(ServerTrustFailureReason::NoCertificatesFound{});
    if (acceptSelfSignedCertificates) hw::setAnchorCertificates(trust, certificates);
    if (performDefaultValidation) hw::performDefaultValidation(trust, forHost);
    if (validateHost) hw::performValidation(trust, forHost);

    const auto serverData = hw::certificateData(trust);
    const auto pinnedData = hw::data(certificates);
    // One common certificate anywhere in the chain (leaf, intermediate or root) passes.
    const bool anyPinned = std::any_of(pinnedData.begin(), pinnedData.end(), [&](const platform::Data& d) {
        return std::find(serverData.begin(), serverData.end(), d) != serverData.end();
    });
    if (!anyPinned)
        reject(
            ServerTrustFailureReason::CertificatePinningFailed{forHost, trust, certificates, hw::certificates(trust)});
}

void PublicKeysTrustEvaluator::evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const {
    if (keys.empty()) reject(ServerTrustFailureReason::NoPublicKeysFound{});
    if (performDefaultValidation) hw::performDefaultValidation(trust, forHost);
    if (validateHost) hw::performValidation(trust, forHost);

    const auto serverKeys = hw::publicKeys(trust);
    for (const auto& serverKey : serverKeys)
        for (const auto& pinned : keys)
            if (platform::SecKeyEqual(serverKey, pinned)) return;
    reject(ServerTrustFailureReason::PublicKeyPinningFailed{forHost, trust, keys, serverKeys});
}

void CompositeTrustEvaluator::evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const {
    for (const auto& evaluator : evaluators) evaluator->evaluate(trust, forHost);
}

}  // namespace Hawser
