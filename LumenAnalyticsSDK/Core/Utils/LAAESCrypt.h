// AES-128-CBC with PKCS#7 padding for stored values: each encryption draws a fresh
// random IV and writes Base64 of IV + ciphertext.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Data.h"

namespace LumenAnalyticsSDK {

class LAAESCrypt {
public:
    explicit LAAESCrypt(std::optional<platform::Data> key = std::nullopt) : key_(std::move(key)) {}

    // The key; made with `randomKey()` when there is none yet.
    const platform::Data& key();
    // 16 ASCII letters or digits, each drawn uniformly from the secure random source.
    static platform::Data randomKey();

    // None for empty input or when the random source fails.
    std::optional<std::string> encryptData(const platform::Data& data);
    // The plaintext of Base64 text made by `encryptData` (characters outside the Base64
    // alphabet are skipped); none for empty input, an empty plaintext or any failure.
    std::optional<platform::Data> decryptData(const platform::Data& base64Data);

private:
    std::optional<platform::Data> key_;
};

}  // namespace LumenAnalyticsSDK
