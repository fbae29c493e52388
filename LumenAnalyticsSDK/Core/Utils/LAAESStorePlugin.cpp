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
    std::optional<platform::Data> key;
    if (auto text = stored.asString()) key = platform::Data::fromBase64(*text);
    if (key && key->count() == platform::kCCKeySizeAES128) {
        keys_.set(&Keys::encryptKey, key);
        return;
    }
    LALogWarn("The stored AES key is not a " + std::to_string(platform::kCCKeySizeAES128) +
              "-byte key; a new key replaces it");
}

std::string LAAESStorePlugin::defaultsKey(const std::string& storeKey) {
    return platform::Data::fromString(storeKey).base64EncodedString();
}

LAAESCrypt& LAAESStorePlugin::aesCrypt(Keys& keys) {
    if (!keys.aesCrypt) keys.aesCrypt.emplace(keys.encryptKey);
    return *keys.aesCrypt;
}

platform::Value LAAESStorePlugin::objectForKey(const std::string& key) {
    return keys_.write([&](Keys& keys) -> platform::Value {
        if (!keys.encryptKey) return {};
        auto text = platform::UserDefaults::standard()->string(defaultsKey(key));
        if (!text) return {};
        auto archived = aesCrypt(keys).decryptData(platform::Data::fromString(*text));
        if (!archived) return {};
        auto value = platform::NSKeyedUnarchiver::unarchivedObject(*archived);
        return value.isSuccess() ? value.value() : platform::Value();
    });
}

void LAAESStorePlugin::setObject(const platform::Value& value, const std::string& key) {
    if (value.isNull()) return removeObjectForKey(key);
    keys_.write([&](Keys& keys) {
        if (!keys.encryptKey) {
            keys.encryptKey = aesCrypt(keys).key();
            fileStorePlugin_.setObject(platform::Value(keys.encryptKey->base64EncodedString()), kKeyFileKey);
        }
        auto archived = platform::NSKeyedArchiver::archivedData(value);
        if (!archived.isSuccess()) return;
        auto sealed = aesCrypt(keys).encryptData(archived.value());
        if (!sealed) return;
        auto defaults = platform::UserDefaults::standard();
        defaults->set(platform::Value(*sealed), defaultsKey(key));
        defaults->synchronize();
    });
}

void LAAESStorePlugin::removeObjectForKey(const std::string& key) {
    auto defaults = platform::UserDefaults::standard();
    defaults->removeObject(defaultsKey(key));
    defaults->synchronize();
}

}  // namespace LumenAnalyticsSDK
