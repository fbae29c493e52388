// Trust policies: basic X.509, TLS server (optionally for a host name), revocation.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/security/SecBase.h"

namespace platform {

// Revocation flags with the platform's values.
inline constexpr std::uint64_t kSecRevocationOCSPMethod = 1;
inline constexpr std::uint64_t kSecRevocationCRLMethod = 2;
inline constexpr std::uint64_t kSecRevocationPreferCRL = 4;
inline constexpr std::uint64_t kSecRevocationRequirePositiveResponse = 8;
inline constexpr std::uint64_t kSecRevocationNetworkAccessDisabled = 16;
inline constexpr std::uint64_t kSecRevocationUseAnyAvailableMethod = 3;

class SecPolicy {
public:
    enum class Kind { basicX509, ssl, revocation };

    Kind kind() const { return kind_; }
    bool isServer() const { return server_; }
    const std::optional<std::string>& hostname() const { return hostname_; }
    std::uint64_t revocationFlags() const { return revocationFlags_; }

    SecPolicy(Kind kind, bool server, std::optional<std::string> hostname, std::uint64_t flags)
        : kind_(kind), server_(server), hostname_(std::move(hostname)), revocationFlags_(flags) {}

private:
    Kind kind_;
    bool server_;
    std::optional<std::string> hostname_;
    std::uint64_t revocationFlags_;
};

SecPolicyRef SecPolicyCreateBasicX509();
// A TLS policy; with `server` the peer must be a TLS server, and with a host name the
// leaf must be issued for it (DNS name or IP address).
SecPolicyRef SecPolicyCreateSSL(bool server, std::optional<std::string> hostname);
// None when `flags` holds bits that are not revocation flags.
SecPolicyRef SecPolicyCreateRevocation(std::uint64_t flags);

}  // namespace platform
