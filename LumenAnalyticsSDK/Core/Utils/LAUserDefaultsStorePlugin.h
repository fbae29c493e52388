// Store plugin over the standard user defaults, under the plain key; it owns the
// installation and launch flags.
#pragma once
#include "LumenAnalyticsSDK/Core/Utils/LAStorePlugin.h"

namespace LumenAnalyticsSDK {

class LAUserDefaultsStorePlugin : public LAStorePlugin {
public:
    std::string type() const override { return "cn.lumen.UserDefaults."; }
    void upgradeWithOldPlugin(const std::shared_ptr<LAStorePlugin>&) override {}
    platform::Value objectForKey(const std::string& key) override;
    // A null value removes the key.
    void setObject(const platform::Value& value, const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;
    std::optional<std::vector<std::string>> storeKeys() const override;

private:
    std::string plainKey(const std::string& key) const;
};

}  // namespace LumenAnalyticsSDK
