// Encryption of the AES store plugin's values.
#include "LumenAnalyticsSDK/Core/Utils/LAAESCrypt.h"

#include <cstdint>
#include <string_view>

#include "platform/crypto/AES.h"
#include "platform/crypto/SecRandom.h"

namespace LumenAnalyticsSDK {
namespace {

constexpr std::string_view kKeyAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

}  // namespace

const platform::Data& LAAESCrypt::key() {
    if (!key_) key_ = randomKey();
    return *key_;
}

platform::Data LAAESCrypt::randomKey() {
    std::string key;
    while (key.size() < platform::kCCKeySizeAES128) {
        std::uint8_t byte = 0;
        if (platform::SecRandomCopyBytes(1, &byte) != platform::errSecSuccess) continue;
        // Only bytes below 248 (4 x 62) keep every character equally likely.
        if (byte < 248) key += kKeyAlphabet[byte % kKeyAlphabet.size()];
    }
    return platform::Data::fromString(key);
}

std::optional<std::string> LAAESCrypt::encryptData(const platform::Data& data) {
    if (data.isEmpty()) return std::nullopt;
    platform::Data iv;
    iv.resize(platform::kCCBlockSizeAES128);
    if (platform::SecRandomCopyBytes(iv.count(), iv.mutableData()) != platform::errSecSuccess) return std::nullopt;
    auto encrypted = platform::AES128CBC::encrypt(key(), iv, data);
    if (!encrypted.isSuccess()) return std::nullopt;
    platform::Data sealed = iv;
    sealed.append(encrypted.value());
    return sealed.base64EncodedString();
}

std::optional<platform::Data> LAAESCrypt::decryptData(const platform::Data& base64Data) {
    if (base64Data.isEmpty()) return std::nullopt;
    auto sealed = platform::Data::fromBase64IgnoringUnknownCharacters(base64Data.toString());
    if (!sealed || sealed->count() <= platform::kCCBlockSizeAES128) return std::nullopt;
    // The leading block is the IV that chained the first block of ciphertext.
    platform::Data iv = sealed->prefix(platform::kCCBlockSizeAES128);
    platform::Data ciphertext = sealed->subdata(platform::kCCBlockSizeAES128, sealed->count());
    auto plaintext = platform::AES128CBC::decrypt(key(), iv, ciphertext);
    if (!plaintext.isSuccess() || plaintext.value().isEmpty()) return std::nullopt;
    return plaintext.value();
}

}  // namespace LumenAnalyticsSDK
