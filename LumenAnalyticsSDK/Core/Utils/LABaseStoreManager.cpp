// Routing of keys to store plugins, serialised on the store's queue.
#include "LumenAnalyticsSDK/Core/Utils/LABaseStoreManager.h"

#include <algorithm>
#include <cstdlib>

#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"
#include "platform/foundation/TextForms.h"

namespace LumenAnalyticsSDK {
namespace {

std::optional<double> numericValue(const platform::Value& value) {
    if (auto flag = value.asBool()) return *flag ? 1.0 : 0.0;
    if (auto number = value.asDouble()) return *number;
    if (auto text = value.asString()) return std::strtod(text->c_str(), nullptr);
    return std::nullopt;
}

}  // namespace

const platform::DispatchQueuePtr& LABaseStoreManager::serialQueue() {
    static const platform::DispatchQueuePtr* const queue =
        new platform::DispatchQueuePtr(platform::DispatchQueue::create("com.lumen.serialQueue.StoreManager"));
    return *queue;
}

void LABaseStoreManager::registerStorePlugin(LAStorePluginPtr plugin) {
    if (!plugin) return;
    serialQueue()->async([this, plugin] {
        for (auto it = plugins_.rbegin(); it != plugins_.rend();) {
            if ((*it)->type() == plugin->type()) {
                it = decltype(it)(plugins_.erase(std::next(it).base()));
            } else {
                plugin->upgradeWithOldPlugin(*it);
                ++it;
            }
        }
        plugins_.insert(plugins_.begin(), plugin);
    });
}

std::vector<LAStorePluginPtr> LABaseStoreManager::plugins() const {
    return LADispatchSyncOrInlineResult(serialQueue(), [this] { return plugins_; });
}

std::string LABaseStoreManager::storeKeyWithPlugin(const LAStorePlugin& plugin, const std::string& key) {
    return plugin.type() + key;
}

bool LABaseStoreManager::isMatchedWithPlugin(const LAStorePlugin& plugin, const std::string& key) {
    auto keys = plugin.storeKeys();
    return keys && std::find(keys->begin(), keys->end(), key) != keys->end();
}

platform::Value LABaseStoreManager::objForKey(const std::string& key) const {
    for (std::size_t i = 0; i < plugins_.size(); ++i) {
        const auto& plugin = plugins_[i];
        platform::Value value = plugin->objectForKey(storeKeyWithPlugin(*plugin, key));
        if (value.isNull()) continue;
        if (isRegisteredCustomStorePlugin() && i != 0) {
            // Move the value to the front plugin, which a custom plugin now is.
            const auto& front = plugins_.front();
            front->setObject(value, storeKeyWithPlugin(*front, key));
            plugin->removeObjectForKey(storeKeyWithPlugin(*plugin, key));
        }
        return value;
    }
    return {};
}

platform::Value LABaseStoreManager::objectForKey(const std::string& key) const {
    if (LAIsCurrentQueue(serialQueue())) return objForKey(key);
    return serialQueue()->sync([&] { return objForKey(key); });
}

void LABaseStoreManager::objectForKey(const std::string& key,
                                      std::function<void(const platform::Value&)> completion) const {
    serialQueue()->async([this, key, completion = std::move(completion)] {
        platform::Value value = objForKey(key);
        if (completion) completion(value);
    });
}

std::optional<std::string> LABaseStoreManager::stringForKey(const std::string& key) const {
    platform::Value value = objectForKey(key);
    if (auto text = value.asString()) return *text;
    if (auto flag = value.asBool()) return std::string(*flag ? "1" : "0");
    if (value.isNumber()) return platform::valueText(value);
    return std::nullopt;
}

std::optional<platform::Value::Array> LABaseStoreManager::arrayForKey(const std::string& key) const {
    platform::Value value = objectForKey(key);
    if (auto array = value.asArray()) return *array;
    return std::nullopt;
}

std::optional<platform::Value::Dictionary> LABaseStoreManager::dictionaryForKey(const std::string& key) const {
    platform::Value value = objectForKey(key);
    if (auto dictionary = value.asDictionary()) return *dictionary;
    return std::nullopt;
}

std::optional<platform::Data> LABaseStoreManager::dataForKey(const std::string& key) const {
    platform::Value value = objectForKey(key);
    if (auto data = value.asData()) return *data;
    return std::nullopt;
}

std::int64_t LABaseStoreManager::integerForKey(const std::string& key) const {
    platform::Value value = objectForKey(key);
    if (auto integer = value.asInt64(); integer && value.isInteger()) return *integer;
    if (auto text = value.asString()) return std::strtoll(text->c_str(), nullptr, 10);
    return static_cast<std::int64_t>(numericValue(value).value_or(0));
}

float LABaseStoreManager::floatForKey(const std::string& key) const { return static_cast<float>(doubleForKey(key)); }

double LABaseStoreManager::doubleForKey(const std::string& key) const {
    return numericValue(objectForKey(key)).value_or(0);
}

bool LABaseStoreManager::boolForKey(const std::string& key) const {
    return numericValue(objectForKey(key)).value_or(0) != 0;
}

void LABaseStoreManager::setObject(const platform::Value& value, const std::string& key) {
    serialQueue()->async([this, value, key] { setObjectOnQueue(value, key); });
}

// An owning plugin takes the key alone; with custom plugins registered, or for a key no
// plugin owns, the front plugin takes it.
LAStorePluginPtr LABaseStoreManager::pluginForWriting(const std::string& key) const {
    if (plugins_.empty()) return nullptr;
    if (!isRegisteredCustomStorePlugin())
        for (const auto& plugin : plugins_)
            if (isMatchedWithPlugin(*plugin, key)) return plugin;
    return plugins_.front();
}

void LABaseStoreManager::setObjectOnQueue(const platform::Value& value, const std::string& key) {
    auto plugin = pluginForWriting(key);
    if (!plugin) return;
    plugin->setObject(value, storeKeyWithPlugin(*plugin, key));
    if (!isRegisteredCustomStorePlugin() && isMatchedWithPlugin(*plugin, key)) return;
    // The front plugin took it: every other plugin drops the key.
    for (std::size_t i = 1; i < plugins_.size(); ++i)
        plugins_[i]->removeObjectForKey(storeKeyWithPlugin(*plugins_[i], key));
}

bool LABaseStoreManager::addObject(const platform::Value& value, const std::string& key) {
    return LADispatchSyncOrInlineResult(serialQueue(), [&] {
        auto plugin = pluginForWriting(key);
        return plugin && plugin->addObject(value, storeKeyWithPlugin(*plugin, key));
    });
}

void LABaseStoreManager::removeObjectForKey(const std::string& key) {
    serialQueue()->async([this, key] {
        for (const auto& plugin : plugins_) plugin->removeObjectForKey(storeKeyWithPlugin(*plugin, key));
    });
}

}  // namespace LumenAnalyticsSDK
