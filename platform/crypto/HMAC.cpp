// HMAC over OpenSSL's one-shot interface.
#include "platform/crypto/HMAC.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "platform/base/Fatal.h"

namespace platform {

namespace {
const EVP_MD* evpDigest(CCHmacAlgorithm algorithm) {
    switch (algorithm) {
        case CCHmacAlgorithm::SHA1: return EVP_sha1();
        case CCHmacAlgorithm::MD5: return EVP_md5();
        case CCHmacAlgorithm::SHA256: return EVP_sha256();
        case CCHmacAlgorithm::SHA384: return EVP_sha384();
        case CCHmacAlgorithm::SHA512: return EVP_sha512();
        case CCHmacAlgorithm::SHA224: return EVP_sha224();
    }
    fatal("unknown HMAC algorithm");
}
}  // namespace

std::size_t hmacLength(CCHmacAlgorithm algorithm) {
    return static_cast<std::size_t>(EVP_MD_get_size(evpDigest(algorithm)));
}

void CCHmac(CCHmacAlgorithm algorithm, const void* key, std::size_t keyLength, const void* data, std::size_t dataLength,
            void* macOut) {
    static const unsigned char none = 0;
    unsigned int length = 0;
    if (!HMAC(evpDigest(algorithm), keyLength ? key : &none, static_cast<int>(keyLength),
              dataLength ? static_cast<const unsigned char*>(data) : &none, dataLength,
              static_cast<unsigned char*>(macOut), &length))
        fatal("HMAC failed");
}

Data hmac(CCHmacAlgorithm algorithm, const Data& key, const Data& message) {
    Data mac;
    mac.resize(hmacLength(algorithm));
    CCHmac(algorithm, key.data(), key.count(), message.data(), message.count(), mac.mutableData());
    return mac;
}

Data hmac(CCHmacAlgorithm algorithm, std::string_view key, std::string_view message) {
    return hmac(algorithm, Data::fromString(key), Data::fromString(message));
}

}  // namespace platform
