// Message digests over OpenSSL's EVP interface.
#include "platform/crypto/Digest.h"

#include <openssl/evp.h>

#include "platform/base/Fatal.h"

namespace platform {

namespace {
const EVP_MD* evpDigest(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::md5: return EVP_md5();
        case DigestAlgorithm::sha1: return EVP_sha1();
        case DigestAlgorithm::sha224: return EVP_sha224();
        case DigestAlgorithm::sha256: return EVP_sha256();
        case DigestAlgorithm::sha384: return EVP_sha384();
        case DigestAlgorithm::sha512: return EVP_sha512();
    }
    fatal("unknown digest algorithm");
}
}  // namespace

std::size_t digestLength(DigestAlgorithm algorithm) {
    return static_cast<std::size_t>(EVP_MD_get_size(evpDigest(algorithm)));
}

struct Digest::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool finished = false;
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Digest::Digest(DigestAlgorithm algorithm) : algorithm_(algorithm), context_(std::make_unique<Context>()) {
    if (!context_->ctx || EVP_DigestInit_ex(context_->ctx, evpDigest(algorithm), nullptr) != 1)
        fatal("cannot set up a message digest");
}

Digest::~Digest() = default;
Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;

void Digest::update(const void* bytes, std::size_t count) {
    if (!context_ || context_->finished) fatal("Digest::update after finalize");
    if (count == 0) return;
    if (EVP_DigestUpdate(context_->ctx, bytes, count) != 1) fatal("message digest update failed");
}

Data Digest::finalize() {
    if (!context_ || context_->finished) fatal("Digest::finalize called twice");
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->ctx, out, &length) != 1) fatal("message digest finalize failed");
    context_->finished = true;
    return Data(out, length);
}

Digest Digest::clone() const {
    if (!context_ || context_->finished) fatal("Digest::clone after finalize");
    Digest copy(algorithm_);
    if (EVP_MD_CTX_copy_ex(copy.context_->ctx, context_->ctx) != 1) fatal("cannot copy a message digest");
    return copy;
}

Data Digest::hash(DigestAlgorithm algorithm, const void* bytes, std::size_t count) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    static const unsigned char none = 0;
    if (EVP_Digest(count ? bytes : &none, count, out, &length, evpDigest(algorithm), nullptr) != 1)
        fatal("message digest failed");
    return Data(out, length);
}

namespace {
unsigned char* oneShot(DigestAlgorithm algorithm, const void* data, CC_LONG length, unsigned char* md) {
    Data digest = Digest::hash(algorithm, data, length);
    std::copy(digest.bytes().begin(), digest.bytes().end(), md);
    return md;
}
}  // namespace

unsigned char* CC_MD5(const void* data, CC_LONG length, unsigned char* md) {
    return oneShot(DigestAlgorithm::md5, data, length, md);
}
unsigned char* CC_SHA1(const void* data, CC_LONG length, unsigned char* md) {
    return oneShot(DigestAlgorithm::sha1, data, length, md);
}
unsigned char* CC_SHA256(const void* data, CC_LONG length, unsigned char* md) {
    return oneShot(DigestAlgorithm::sha256, data, length, md);
}
unsigned char* CC_SHA512(const void* data, CC_LONG length, unsigned char* md) {
    return oneShot(DigestAlgorithm::sha512, data, length, md);
}

}  // namespace platform
