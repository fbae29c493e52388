// Message digests (MD5, SHA-1, SHA-2) over OpenSSL's EVP interface: incremental hashers
// in the shape callers use (`Insecure::MD5`, `SHA256` …) and one-shot helpers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/base/Data.h"

namespace platform {

enum class DigestAlgorithm { md5, sha1, sha224, sha256, sha384, sha512 };

// Bytes in a digest of the algorithm (16 for MD5 … 64 for SHA-512).
std::size_t digestLength(DigestAlgorithm algorithm);

// An incremental hasher: feed bytes with `update`, then `finalize` once.
// `finalize` on a finished hasher is a programming error. Movable; `clone` makes an
// independent copy of the running state (a digest can be finished on the copy while the
// original goes on).
class Digest {
public:
    explicit Digest(DigestAlgorithm algorithm);
    ~Digest();
    Digest(Digest&&) noexcept;
    Digest& operator=(Digest&&) noexcept;

    DigestAlgorithm algorithm() const { return algorithm_; }
    void update(const void* bytes, std::size_t count);
    void update(const Data& data) { update(data.data(), data.count()); }
    void update(std::string_view text) { update(text.data(), text.size()); }
    Data finalize();
    Digest clone() const;

    // The digest of `bytes` in one call.
    static Data hash(DigestAlgorithm algorithm, const void* bytes, std::size_t count);
    static Data hash(DigestAlgorithm algorithm, const Data& data) { return hash(algorithm, data.data(), data.count()); }

private:
    struct Context;
    DigestAlgorithm algorithm_;
    std::unique_ptr<Context> context_;
};

// Typed hashers; `hash(data)` is the one-shot form.
template <DigestAlgorithm A>
class TypedDigest : public Digest {
public:
    static constexpr DigestAlgorithm algorithm = A;
    TypedDigest() : Digest(A) {}
    static Data hash(const Data& data) { return Digest::hash(A, data); }
    static Data hash(std::string_view text) { return Digest::hash(A, text.data(), text.size()); }
    static std::size_t byteCount() { return digestLength(A); }
};

namespace Insecure {
using MD5 = TypedDigest<DigestAlgorithm::md5>;
using SHA1 = TypedDigest<DigestAlgorithm::sha1>;
}  // namespace Insecure
using SHA224 = TypedDigest<DigestAlgorithm::sha224>;
using SHA256 = TypedDigest<DigestAlgorithm::sha256>;
using SHA384 = TypedDigest<DigestAlgorithm::sha384>;
using SHA512 = TypedDigest<DigestAlgorithm::sha512>;

// Classic one-shot forms: write the digest to `md` (which must hold the digest length)
// and answer `md`.
using CC_LONG = std::uint32_t;
inline constexpr std::size_t CC_MD5_DIGEST_LENGTH = 16;
inline constexpr std::size_t CC_SHA1_DIGEST_LENGTH = 20;
inline constexpr std::size_t CC_SHA256_DIGEST_LENGTH = 32;
inline constexpr std::size_t CC_SHA512_DIGEST_LENGTH = 64;
unsigned char* CC_MD5(const void* data, CC_LONG length, unsigned char* md);
unsigned char* CC_SHA1(const void* data, CC_LONG length, unsigned char* md);
unsigned char* CC_SHA256(const void* data, CC_LONG length, unsigned char* md);
unsigned char* CC_SHA512(const void* data, CC_LONG length, unsigned char* md);

}  // namespace platform
