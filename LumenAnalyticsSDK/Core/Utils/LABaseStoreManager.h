// The client's key/value store: an ordered list of store plugins (front first), each key
// routed to the plugin that owns it, every access serialised on one process-wide queue.
// Writes never block their caller; a read after a write from the same thread sees it.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Utils/LAStorePlugin.h"
#include "platform/dispatch/DispatchQueue.h"

namespace LumenAnalyticsSDK {

class LABaseStoreManager {
public:
    LABaseStoreManager() = default;
    virtual ~LABaseStoreManager() = default;
    LABaseStoreManager(const LABaseStoreManager&) = delete;
    LABaseStoreManager& operator=(const LABaseStoreManager&) = delete;

    // "com.lumen.serialQueue.StoreManager", shared by all managers.
    static const platform::DispatchQueuePtr& serialQueue();

    // Queued: a plugin of the same type is replaced, every other one is offered to the
    // new plugin's upgrade, and the new plugin goes to the front.
    void registerStorePlugin(LAStorePluginPtr plugin);
    std::vector<LAStorePluginPtr> plugins() const;

    // Null when no plugin holds the key. Runs inline when called on the store's queue.
    platform::Value objectForKey(const std::string& key) const;
    // Reads on the queue, then calls `completion` there.
    void objectForKey(const std::string& key, std::function<void(const platform::Value&)> completion) const;
    // A text as it is, a number as its text; else none.
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<platform::Value::Array> arrayForKey(const std::string& key) const;
    std::optional<platform::Value::Dictionary> dictionaryForKey(const std::string& key) const;
    std::optional<platform::Data> dataForKey(const std::string& key) const;
    // The numeric value of a stored number or text; else 0 / false.
    std::int64_t integerForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;

    // Queued. The owning plugin gets the value; with custom plugins registered, or for a
    // key no plugin owns, the front plugin gets it and every other plugin drops the key.
    void setObject(const platform::Value& value, const std::string& key);
    void setInteger(std::int64_t value, const std::string& key) { setObject(platform::Value(value), key); }
    void setFloat(float value, const std::string& key) { setObject(platform::Value(value), key); }
    void setDouble(double value, const std::string& key) { setObject(platform::Value(value), key); }
    void setBool(bool value, const std::string& key) { setObject(platform::Value(value), key); }
    // Waits for the queue: writes `value` only where the key's plugin holds nothing under
    // the key (one step even across processes for the file plugin); true when it wrote.
    bool addObject(const platform::Value& value, const std::string& key);
    // Queued: every plugin drops the key.
    void removeObjectForKey(const std::string& key);

    static std::string storeKeyWithPlugin(const LAStorePlugin& plugin, const std::string& key);
    static bool isMatchedWithPlugin(const LAStorePlugin& plugin, const std::string& key);
    // Whether plugins beyond the built-in two are registered (never in the base class).
    virtual bool isRegisteredCustomStorePlugin() const { return false; }

protected:
    // Touched only on the store's queue.
    std::vector<LAStorePluginPtr> plugins_;

private:
    platform::Value objForKey(const std::string& key) const;
    void setObjectOnQueue(const platform::Value& value, const std::string& key);
    // The plugin that takes writes of `key`, or none.
    LAStorePluginPtr pluginForWriting(const std::string& key) const;
};

}  // namespace LumenAnalyticsSDK
