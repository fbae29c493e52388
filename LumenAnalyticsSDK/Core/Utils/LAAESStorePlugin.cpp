// Encrypted user-defaults back end of the client's key/value store.
#include "LumenAnalyticsSDK/Core/Utils/LAAESStorePlugin.h"

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/crypto/AES.h"
#include "platform/files/UserDefaults.h"
#include "platform/foundation/NSKeyedArchiver.h"

namespace LumenAnalyticsSDK {

// A stored key that is no AES-128 key would fail every encryption for good: it is
// dropped (with a log line) and the next write makes and stores a new one.
LAAESStorePlugin::LAAESStorePlugin() {
    platform::Value stored = fileStorePlugin_.objectForKey(kKeyFileKey);
    if (stored.isNull()) return;
    if (auto key = aesKeyIn(stored)) {
        keys_.set(&Keys::encryptKey, key);
        return;
    }
    LALogWarn("The stored AES key is not a " + std::to_string(platform::kCCKeySizeAES128) +
              "-byte key; a new key replaces it");
}

std::optional<platform::Data> LAAESStorePlugin::aesKeyIn(const platform::Value& stored) {
    std::optional<platform::Data> key;
    if (auto text = stored.asString()) key = platform::Data::fromBase64(*text);
    if (key && key->count() == platform::kCCKeySizeAES128) return key;
    return std::nullopt;
}

std::string LAAESStorePlugin::defaultsKey(const std::string& storeKey) {
    return platform::Data::fromString(storeKey).base64EncodedString();
}

LAAESCrypt& LAAESStorePlugin::aesCrypt(Keys& keys) {
    if (!keys.aesCrypt) keys.aesCrypt.emplace(keys.encryptKey);
    return *keys.aesCrypt;
}

// Another instance or launch over the same folder may have made the key since this one
// started: the file is read again before a key is made.
void LAAESStorePlugin::adoptStoredKey(Keys& keys) {
    if (!keys.encryptKey) keys.encryptKey = aesKeyIn(fileStorePlugin_.objectForKey(kKeyFileKey));
}

void LAAESStorePlugin::ensureKey(Keys& keys) {
    adoptStoredKey(keys);
    if (keys.encryptKey) return;
    platform::Data made = LAAESCrypt::randomKey();
    platform::Value text(made.base64EncodedString());
    if (!fileStorePlugin_.addObject(text, kKeyFileKey)) {
        adoptStoredKey(keys);  // made first by another instance or launch: theirs is everyone's
        if (keys.encryptKey) return;
        fileStorePlugin_.setObject(text, kKeyFileKey);  // what stands there is no key: replaced
    }
    keys.encryptKey = made;
}

std::optional<std::string> LAAESStorePlugin::seal(Keys& keys, const platform::Value& value) {
    ensureKey(keys);
    auto archived = platform::NSKeyedArchiver::archivedData(value);
    if (!archived.isSuccess()) return std::nullopt;
    return aesCrypt(keys).encryptData(archived.value());
}

platform::Value LAAESStorePlugin::unseal(Keys& keys, const std::optional<std::string>& text) {
    if (!keys.encryptKey || !text) return {};
    auto archived = aesCrypt(keys).decryptData(platform::Data::fromString(*text));
    if (!archived) return {};
    auto value = platform::NSKeyedUnarchiver::unarchivedObject(*archived);
    return value.isSuccess() ? value.value() : platform::Value();
}

void LAAESStorePlugin::storeSealed(const std::string& sealed, const std::string& key) {
    auto defaults = platform::UserDefaults::standard();
    defaults->set(platform::Value(sealed), defaultsKey(key));
    defaults->synchronize();
}

platform::Value LAAESStorePlugin::objectForKey(const std::string& key) {
    return keys_.write([&](Keys& keys) {
        adoptStoredKey(keys);
        return unseal(keys, platform::UserDefaults::standard()->string(defaultsKey(key)));
    });
}

void LAAESStorePlugin::setObject(const platform::Value& value, const std::string& key) {
    if (value.isNull()) return removeObjectForKey(key);
    keys_.write([&](Keys& keys) {
        if (auto sealed = seal(keys, value)) storeSealed(*sealed, key);
    });
}

// The defaults of other launches are not seen until they start again, so the first value
// is settled in a file made complete beside its place and linked in only where none is:
// the first launch wins, and the others take its text into their defaults. A claim that
// does not decrypt holds no value and is replaced.
bool LAAESStorePlugin::addObject(const platform::Value& value, const std::string& key) {
    if (value.isNull()) return false;
    return keys_.write([&](Keys& keys) {
        ensureKey(keys);
        if (!unseal(keys, platform::UserDefaults::standard()->string(defaultsKey(key))).isNull()) return false;
        auto sealed = seal(keys, value);
        if (!sealed) return false;
        bool added = fileStorePlugin_.addObject(platform::Value(*sealed), key);
        std::string kept = *sealed;
        if (!added) {
            platform::Value claimed = fileStorePlugin_.objectForKey(key);
            const auto* claimedText = claimed.asString();
            if (claimedText && !unseal(keys, *claimedText).isNull()) {
                kept = *claimedText;
            } else {
                fileStorePlugin_.setObject(platform::Value(*sealed), key);
                added = true;
            }
        }
        storeSealed(kept, key);
        return added;
    });
}

void LAAESStorePlugin::removeObjectForKey(const std::string& key) {
    auto defaults = platform::UserDefaults::standard();
    defaults->removeObject(defaultsKey(key));
    defaults->synchronize();
    fileStorePlugin_.removeObjectForKey(key);  // a later add starts afresh
}

}  // namespace LumenAnalyticsSDK
