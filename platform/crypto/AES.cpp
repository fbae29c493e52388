// AES-128-CBC with PKCS#7 padding over OpenSSL EVP.
#include "platform/crypto/AES.h"

#include <openssl/evp.h>

#include "platform/base/FreedBy.h"

namespace platform {

namespace {

ErrorPtr statusError(CCCryptorStatus status, const std::string& what) {
    return NSError::withDescription(CryptorErrorDomain, static_cast<std::int64_t>(status), what);
}

Result<Data> run(bool encrypt, const Data& key, const Data& iv, const Data& input) {
    if (key.count() != kCCKeySizeAES128)
        return Result<Data>::failure(statusError(CCCryptorStatus::paramError, "AES-128 needs a 16-byte key"));
    if (!iv.isEmpty() && iv.count() != kCCBlockSizeAES128)
        return Result<Data>::failure(statusError(CCCryptorStatus::paramError, "AES-128-CBC needs a 16-byte IV"));
    if (!encrypt && input.count() % kCCBlockSizeAES128 != 0)
        return Result<Data>::failure(
            statusError(CCCryptorStatus::alignmentError, "ciphertext is not a whole number of blocks"));
    if (!encrypt && input.isEmpty())
        return Result<Data>::failure(statusError(CCCryptorStatus::decodeError, "empty ciphertext has no padding"));

    FreedBy<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free> ctx(EVP_CIPHER_CTX_new());
    static const unsigned char zeroIV[kCCBlockSizeAES128] = {};
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key.data(), iv.isEmpty() ? zeroIV : iv.data(),
                                  encrypt ? 1 : 0) != 1)
        return Result<Data>::failure(statusError(CCCryptorStatus::memoryFailure, "cannot set up the cipher"));

    Data output;
    output.resize(input.count() + kCCBlockSizeAES128);
    int written = 0, last = 0;
    if (EVP_CipherUpdate(ctx.get(), output.mutableData(), &written, input.data(), static_cast<int>(input.count())) != 1)
        return Result<Data>::failure(statusError(CCCryptorStatus::decodeError, "cipher update failed"));
    if (EVP_CipherFinal_ex(ctx.get(), output.mutableData() + written, &last) != 1)
        return Result<Data>::failure(statusError(CCCryptorStatus::decodeError, "bad PKCS#7 padding"));
    output.resize(static_cast<std::size_t>(written + last));
    return Result<Data>::success(std::move(output));
}

}  // namespace

Result<Data> AES128CBC::encrypt(const Data& key, const Data& iv, const Data& plaintext) {
    return run(true, key, iv, plaintext);
}

Result<Data> AES128CBC::decrypt(const Data& key, const Data& iv, const Data& ciphertext) {
    return run(false, key, iv, ciphertext);
}

CCCryptorStatus cryptorStatus(const ErrorPtr& error) {
    if (!error || error->domain() != CryptorErrorDomain) return CCCryptorStatus::success;
    return static_cast<CCCryptorStatus>(error->code());
}

}  // namespace platform
