// Store plugin keeping values AES-encrypted in the user defaults, under the Base64 form
// of the store key. Its key is made on the first write and kept in a file of the file
// plugin ("StorePlugin.AES", Base64 text).
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
    void removeObjectForKey(const std::string& key) override;

    static constexpr const char* kKeyFileKey = "StorePlugin.AES";

private:
    static std::string defaultsKey(const std::string& storeKey);
    struct Keys {
        std::optional<platform::Data> encryptKey;
        std::optional<LAAESCrypt> aesCrypt;
    };
    // The cipher for the key, made on first use; called inside a step of `keys_`.
    static LAAESCrypt& aesCrypt(Keys& keys);

    platform::Protected<Keys> keys_;
    LAFileStorePlugin fileStorePlugin_;
};

}  // namespace LumenAnalyticsSDK
