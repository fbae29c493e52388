// AES-128 in CBC mode with PKCS#7 padding over OpenSSL EVP. Failures come back as
// values: an error whose code is the classic cryptor status (-4300 …) in `CryptorErrorDomain`.
#pragma once
#include <cstdint>

#include "platform/base/Data.h"
#include "platform/base/Result.h"

namespace platform {

inline constexpr const char* CryptorErrorDomain = "CCCryptorErrorDomain";

enum class CCCryptorStatus : std::int32_t {
    success = 0,
    paramError = -4300,  // key or IV of the wrong length
    bufferTooSmall = -4301,
    memoryFailure = -4302,
    alignmentError = -4303,  // ciphertext not a whole number of blocks
    decodeError = -4304,     // padding does not check out
    unimplemented = -4305,
};

inline constexpr std::size_t kCCKeySizeAES128 = 16;
inline constexpr std::size_t kCCBlockSizeAES128 = 16;

struct AES128CBC {
    // `key` must be 16 bytes; `iv` 16 bytes, or empty for an all-zero IV.
    static Result<Data> encrypt(const Data& key, const Data& iv, const Data& plaintext);
    static Result<Data> decrypt(const Data& key, const Data& iv, const Data& ciphertext);
};

// The status an error of `AES128CBC` carries (success for any other error).
CCCryptorStatus cryptorStatus(const ErrorPtr& error);

}  // namespace platform
