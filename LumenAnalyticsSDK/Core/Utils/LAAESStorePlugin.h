// Store plugin keeping values AES-encrypted in the user defaults, under the Base64 form
// of the store key. Its key is made on the first write and kept in a file of the file
// plugin ("StorePlugin.AES", Base64 text, readable by its owner only), added only where
// none is, so every instance and launch over one folder uses the first key made. An exclusive add also settles its value
// in a file of the file plugin named by the store key (the encrypted text), so that of
// launches racing to add one wins.
#pragma once
#include <memory>
#include <optional>

#include "LumenAnalyticsSDK/Core/Utils/LAAESCrypt.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStorePlugin.h"
#include "platform/base/Protected.h"

namespace LumenAnalyticsSDK {

class LAAESStorePlugin : public LAStorePlugin {
public:
    LAAESStorePlugin();

    std::string type() const override { return "cn.lumen.AES128."; }
    void upgradeWithOldPlugin(const std::shared_ptr<LAStorePlugin>&) override {}
    // Null while there is no key yet, or when the stored text does not decrypt.
    platform::Value objectForKey(const std::string& key) override;
    // A null value removes the key.
    void setObject(const platform::Value& value, const std::string& key) override;
    // Writes only where neither these defaults nor the value file of an earlier add hold a
    // value; otherwise the value file's text is taken into the defaults.
    bool addObject(const platform::Value& value, const std::string& key) override;
    // Removes the value file of an earlier add too.
    void removeObjectForKey(const std::string& key) override;

    static constexpr const char* kKeyFileKey = "StorePlugin.AES";

private:
    static std::string defaultsKey(const std::string& storeKey);
    // The AES-128 key a stored value holds, or none.
    static std::optional<platform::Data> aesKeyIn(const platform::Value& stored);
    struct Keys {
        std::optional<platform::Data> encryptKey;
        std::optional<LAAESCrypt> aesCrypt;
    };
    // The rest run inside a step of `keys_`.
    // The cipher for the key, made on first use.
    static LAAESCrypt& aesCrypt(Keys& keys);
    // Takes the stored key when none is held yet.
    void adoptStoredKey(Keys& keys);
    // The stored key, else a new one added where no key file is yet (else the winner's is
    // taken; a file that holds no key is moved aside first). None when no key can be stored.
    void ensureKey(Keys& keys);
    // Moves a key file that holds no key aside ("<file>.invalid-<time>"), holding and
    // checking the very file it moves; false when a key stands there now (or the file
    // cannot be moved), true when the name is free for an add.
    bool moveKeylessFileAside();
    // The value archived and encrypted, or none.
    std::optional<std::string> seal(Keys& keys, const platform::Value& value);
    // The value of an encrypted text; null when there is none or it does not decrypt.
    static platform::Value unseal(Keys& keys, const std::optional<std::string>& text);
    static void storeSealed(const std::string& sealed, const std::string& key);

    platform::Protected<Keys> keys_;
    LAFileStorePlugin fileStorePlugin_;
};

}  // namespace LumenAnalyticsSDK
