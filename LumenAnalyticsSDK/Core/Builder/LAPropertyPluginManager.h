// Collects the properties of one event from every property plugin that accepts it, in
// priority order, a higher priority overwriting a lower one key by key.
#pragma once
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"
#include "platform/base/Protected.h"
#include "platform/runtime/Class.h"

namespace LumenAnalyticsSDK {

class LAPropertyPluginManager {
public:
    // How long the merge waits for an asynchronous plugin that has not delivered yet.
    static constexpr std::int64_t asyncPluginWaitNanoseconds = 500'000'000;

    static LAPropertyPluginManager& sharedInstance();

    // Ordinary or super plugin; replaces a registered plugin of exactly the same class.
    void registerPropertyPlugin(const LAPropertyPluginPtr& plugin);
    // Removes the last registered plugin of the class (or a subclass) from each list.
    void unregisterPropertyPluginWithPluginClass(const platform::ClassPtr& pluginClass);
    // A one-use plugin: it serves the first event it accepts, then is dropped.
    void registerCustomPropertyPlugin(const LAPropertyPluginPtr& plugin);

    platform::Value::Dictionary propertiesWithFilter(const LAPropertyPluginEventFilter& filter);
    std::vector<LAPropertyPluginPtr> customPluginsWithFilter(const LAPropertyPluginEventFilter& filter);
    std::vector<LAPropertyPluginPtr> pluginsWithFilter(const LAPropertyPluginEventFilter& filter) const;
    std::vector<LAPropertyPluginPtr> superPluginsWithFilter(const LAPropertyPluginEventFilter& filter) const;
    // Merges in priority order (stable for equal priorities); `filter` may be null.
    static platform::Value::Dictionary propertiesWithPlugins(std::vector<LAPropertyPluginPtr> plugins,
                                                             const LAPropertyPluginEventFilter* filter);
    // What the registered plugins of exactly these classes give now, without an event.
    platform::Value::Dictionary currentPropertiesForPluginClasses(const std::vector<platform::ClassPtr>& classes) const;
    // The first registered plugin of the class or a subclass: custom queues' heads, then
    // ordinary, then super plugins.
    LAPropertyPluginPtr pluginsWithPluginClass(const platform::ClassPtr& pluginClass) const;

    template <class Plugin>
    std::shared_ptr<Plugin> plugin() const {
        return std::dynamic_pointer_cast<Plugin>(pluginsWithPluginClass(Plugin::classObject()));
    }

    // For tests: a manager of their own, not the process-wide one.
    LAPropertyPluginManager() = default;

private:
    static std::vector<LAPropertyPluginPtr> matching(const std::vector<LAPropertyPluginPtr>& plugins,
                                                     const LAPropertyPluginEventFilter& filter);

    struct Lists {
        std::vector<LAPropertyPluginPtr> plugins;
        std::vector<LAPropertyPluginPtr> superPlugins;
        std::map<std::string, std::deque<LAPropertyPluginPtr>> customPlugins;
    };
    platform::Protected<Lists> lists_;  // plugins are called outside its lock
};

}  // namespace LumenAnalyticsSDK
