// Status codes and reference types shared by the trust, certificate, key and policy
// interfaces.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/crypto/SecRandom.h"  // errSecSuccess

namespace platform {

using OSStatus = std::int32_t;

inline constexpr OSStatus errSecUnimplemented = -4;
inline constexpr OSStatus errSecParam = -50;
inline constexpr OSStatus errSecDuplicateItem = -25299;
inline constexpr OSStatus errSecItemNotFound = -25300;
inline constexpr OSStatus errSecDecode = -26275;
inline constexpr OSStatus errSecHostNameMismatch = -67602;
inline constexpr OSStatus errSecCreateChainFailed = -67607;
inline constexpr OSStatus errSecIncompleteCertRevocationCheck = -67635;
inline constexpr OSStatus errSecCertificateExpired = -67818;
inline constexpr OSStatus errSecCertificateNotValidYet = -67819;
inline constexpr OSStatus errSecCertificateRevoked = -67820;
inline constexpr OSStatus errSecNotTrusted = -67843;

inline constexpr const char* NSOSStatusErrorDomain = "NSOSStatusErrorDomain";

class SecCertificate;
class SecKey;
class SecPolicy;
class SecTrust;
using SecCertificateRef = std::shared_ptr<const SecCertificate>;
using SecKeyRef = std::shared_ptr<const SecKey>;
using SecPolicyRef = std::shared_ptr<const SecPolicy>;
using SecTrustRef = std::shared_ptr<SecTrust>;

}  // namespace platform
