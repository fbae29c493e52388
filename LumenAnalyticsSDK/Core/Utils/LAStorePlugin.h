// A back end of the client's key/value store. Plugins receive store keys: the plugin's
// `type()` followed by the plain key.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

class LAStorePlugin {
public:
    virtual ~LAStorePlugin() = default;

    // The key prefix, which also names the plugin: a second plugin of the same type
    // replaces the first.
    virtual std::string type() const = 0;
    // Called when this plugin is registered while `oldPlugin` is present.
    virtual void upgradeWithOldPlugin(const std::shared_ptr<LAStorePlugin>& oldPlugin) = 0;
    // Null when the plugin holds nothing under the key.
    virtual platform::Value objectForKey(const std::string& key) = 0;
    virtual void setObject(const platform::Value& value, const std::string& key) = 0;
    // Writes only where the plugin holds nothing under the key; true when this call
    // wrote. A plugin that other processes share makes the check and the write one step.
    virtual bool addObject(const platform::Value& value, const std::string& key) {
        if (!objectForKey(key).isNull()) return false;
        setObject(value, key);
        return true;
    }
    virtual void removeObjectForKey(const std::string& key) = 0;
    // The plain keys this plugin owns; none for a plugin that owns no particular keys.
    virtual std::optional<std::vector<std::string>> storeKeys() const { return std::nullopt; }
};

using LAStorePluginPtr = std::shared_ptr<LAStorePlugin>;

}  // namespace LumenAnalyticsSDK
