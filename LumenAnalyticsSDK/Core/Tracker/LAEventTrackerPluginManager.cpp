// Installing, replacing and switching the automatic-event tracker plugins.
#include "LumenAnalyticsSDK/Core/Tracker/LAEventTrackerPluginManager.h"

#include <algorithm>

#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAEventTrackerPlugin);

LAEventTrackerPluginManager& LAEventTrackerPluginManager::defaultManager() {
    static platform::NoDestructor<LAEventTrackerPluginManager> manager;  // lives for the process
    return *manager;
}

void LAEventTrackerPluginManager::registerPlugin(const LAEventTrackerPluginPtr& plugin) {
    if (!plugin || !plugin->respondsToInstall()) return;
    if (std::find(plugins_.begin(), plugins_.end(), plugin) != plugins_.end()) return;
    auto sameType = std::find_if(plugins_.rbegin(), plugins_.rend(), [&](const LAEventTrackerPluginPtr& registered) {
        return registered->type() == plugin->type();
    });
    if (sameType != plugins_.rend()) {
        (*sameType)->uninstall();
        plugins_.erase(std::next(sameType).base());
    }
    plugins_.push_back(plugin);
    plugin->install();
}

void LAEventTrackerPluginManager::unregisterPlugin(const platform::ClassPtr& pluginClass) {
    if (!pluginClass) return;
    auto last = std::find_if(plugins_.rbegin(), plugins_.rend(), [&](const LAEventTrackerPluginPtr& plugin) {
        return plugin->isKindOfClass(*pluginClass) && plugin->respondsToInstall();
    });
    if (last == plugins_.rend()) return;
    (*last)->uninstall();
    plugins_.erase(std::next(last).base());
}

void LAEventTrackerPluginManager::unregisterAllPlugins() {
    for (auto it = plugins_.rbegin(); it != plugins_.rend();) {
        if ((*it)->respondsToInstall()) {
            (*it)->uninstall();
            it = decltype(it)(plugins_.erase(std::next(it).base()));
        } else {
            ++it;
        }
    }
}

void LAEventTrackerPluginManager::enableAllPlugins() {
    for (const auto& plugin : plugins_) plugin->setEnable(true);
}

void LAEventTrackerPluginManager::disableAllPlugins() {
    for (const auto& plugin : plugins_) plugin->setEnable(false);
}

LAEventTrackerPluginPtr LAEventTrackerPluginManager::pluginWithType(const std::string& type) const {
    for (const auto& plugin : plugins_)
        if (plugin->type() == type) return plugin;
    return nullptr;
}

}  // namespace LumenAnalyticsSDK
