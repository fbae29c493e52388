// Policy objects; the trust evaluation reads them.
#include "platform/security/SecPolicy.h"

namespace platform {

SecPolicyRef SecPolicyCreateBasicX509() {
    return std::make_shared<SecPolicy>(SecPolicy::Kind::basicX509, false, std::nullopt, 0);
}

SecPolicyRef SecPolicyCreateSSL(bool server, std::optional<std::string> hostname) {
    return std::make_shared<SecPolicy>(SecPolicy::Kind::ssl, server, std::move(hostname), 0);
}

SecPolicyRef SecPolicyCreateRevocation(std::uint64_t flags) {
    constexpr std::uint64_t known = kSecRevocationOCSPMethod | kSecRevocationCRLMethod | kSecRevocationPreferCRL |
                                    kSecRevocationRequirePositiveResponse | kSecRevocationNetworkAccessDisabled;
    if (flags & ~known) return nullptr;
    return std::make_shared<SecPolicy>(SecPolicy::Kind::revocation, false, std::nullopt, flags);
}

}  // namespace platform
