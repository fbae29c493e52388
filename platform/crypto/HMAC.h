// Keyed-hash message authentication (RFC 2104) over OpenSSL, with the algorithm numbering
// of the classic one-shot interface.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/base/Data.h"

namespace platform {

enum class CCHmacAlgorithm : std::uint32_t { SHA1 = 0, MD5 = 1, SHA256 = 2, SHA384 = 3, SHA512 = 4, SHA224 = 5 };

// Bytes in the MAC of the algorithm (the underlying digest's length).
std::size_t hmacLength(CCHmacAlgorithm algorithm);

// One-shot HMAC: writes hmacLength(algorithm) bytes to `macOut`.
void CCHmac(CCHmacAlgorithm algorithm, const void* key, std::size_t keyLength, const void* data, std::size_t dataLength,
            void* macOut);

Data hmac(CCHmacAlgorithm algorithm, const Data& key, const Data& message);
Data hmac(CCHmacAlgorithm algorithm, std::string_view key, std::string_view message);

}  // namespace platform
