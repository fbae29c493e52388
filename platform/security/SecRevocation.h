// The revocation check of a verified chain: for each certificate but the anchor, a
// stapled OCSP answer (leaf only), then OCSP and CRL in the order the policy's flags ask.
// Every source is heard until one lists the certificate as revoked, which settles it
// whatever the others say (a CRL's hold only until a newer CRL of its issuer that covers the
// certificate lifts it); else it is good when a current answer says so.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/base/Data.h"

typedef struct x509_st X509;
typedef struct x509_store_st X509_STORE;
typedef struct x509_store_ctx_st X509_STORE_CTX;

namespace platform::revocation {

// A good OCSP answer or a CRL without a next update tells that a certificate is good for
// this many seconds after it was made (its this-update, its last update); a revocation
// either lists counts whatever its age.
inline constexpr long kMaxAgeWithoutNextUpdateSeconds = 4 * 24 * 3600;

struct Check {
    std::uint64_t flags = 0;  // the revocation policy's flags
    // The verified chain, leaf first, its anchor last.
    std::vector<X509*> chain;
    std::optional<Data> stapledResponse;  // the handshake's OCSP answer for the leaf
    // The anchors the chain was verified against; OCSP signers are verified against them.
    X509_STORE* store = nullptr;
    // Prepares a fresh context to verify the chain again exactly as it was verified
    // (same store, presented certificates, policies and time); false on failure.
    std::function<bool(X509_STORE_CTX*)> prepareVerification;
};

struct Outcome {
    enum class Kind { allKnownGood, revoked, incomplete };
    Kind kind = Kind::allKnownGood;
    // The revoked certificate, or the first whose status could not be learned.
    X509* certificate = nullptr;
};

Outcome checkRevocation(const Check& check);

}  // namespace platform::revocation
