// Registration of property plugins and the priority-ordered merge of their properties.
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPluginManager.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

namespace {

bool isSuperPlugin(const LAPropertyPlugin& plugin) { return plugin.priority() == LAPropertyPluginPrioritySuper; }

void merge(platform::Value::Dictionary& into, const platform::Value::Dictionary& from) {
    for (const auto& [key, value] : from) into[key] = value;
}

// The state of one merge, shared with the handlers it gives out. A plugin that delivers
// after its wait ended finds its wait closed: it only keeps its properties for later
// events, and neither changes this merge's result nor ends another plugin's wait.
struct MergeState {
    std::mutex mutex;
    std::condition_variable delivered;
    platform::Value::Dictionary result;
};

struct PluginWait {
    std::shared_ptr<MergeState> merge;
    bool open = true;
    bool arrived = false;
};

}  // namespace

LAPropertyPluginManager& LAPropertyPluginManager::sharedInstance() {
    static platform::NoDestructor<LAPropertyPluginManager> manager;  // lives for the process
    return *manager;
}

void LAPropertyPluginManager::registerPropertyPlugin(const LAPropertyPluginPtr& plugin) {
    if (!plugin) return;
    lists_.write([&](Lists& lists) {
        auto& list = isSuperPlugin(*plugin) ? lists.superPlugins : lists.plugins;
        auto sameClass = std::find_if(list.begin(), list.end(), [&](const LAPropertyPluginPtr& registered) {
            return registered->getClass() == plugin->getClass();
        });
        if (sameClass != list.end()) list.erase(sameClass);
        list.push_back(plugin);
    });
    if (plugin->respondsToPrepare()) plugin->prepare();
}

void LAPropertyPluginManager::unregisterPropertyPluginWithPluginClass(const platform::ClassPtr& pluginClass) {
    if (!pluginClass) return;
    lists_.write([&](Lists& lists) {
        for (auto* list : {&lists.superPlugins, &lists.plugins}) {
            auto last = std::find_if(list->rbegin(), list->rend(), [&](const LAPropertyPluginPtr& plugin) {
                return plugin->isKindOfClass(*pluginClass);
            });
            if (last != list->rend()) list->erase(std::next(last).base());
        }
    });
}

void LAPropertyPluginManager::registerCustomPropertyPlugin(const LAPropertyPluginPtr& plugin) {
    if (!plugin) return;
    lists_.write([&](Lists& lists) { lists.customPlugins[plugin->className()].push_back(plugin); });
    if (plugin->respondsToPrepare()) plugin->prepare();
}

platform::Value::Dictionary LAPropertyPluginManager::propertiesWithFilter(const LAPropertyPluginEventFilter& filter) {
    auto all = customPluginsWithFilter(filter);
    for (auto& plugin : pluginsWithFilter(filter)) all.push_back(std::move(plugin));
    for (auto& plugin : superPluginsWithFilter(filter)) all.push_back(std::move(plugin));
    return propertiesWithPlugins(std::move(all), &filter);
}

// Each queue's head is asked outside the lock (a plugin may call back into the manager)
// and taken off its queue only if it is still the head.
std::vector<LAPropertyPluginPtr>
LAPropertyPluginManager::customPluginsWithFilter(const LAPropertyPluginEventFilter& filter) {
    auto heads = lists_.read([](const Lists& lists) {
        std::vector<LAPropertyPluginPtr> fronts;
        for (const auto& [name, queue] : lists.customPlugins)
            if (!queue.empty()) fronts.push_back(queue.front());
        return fronts;
    });
    auto accepted = matching(heads, filter);
    lists_.write([&](Lists& lists) {
        for (const auto& plugin : accepted) {
            auto& queue = lists.customPlugins[plugin->className()];
            if (!queue.empty() && queue.front() == plugin) queue.pop_front();
        }
    });
    return accepted;
}

std::vector<LAPropertyPluginPtr> LAPropertyPluginManager::matching(const std::vector<LAPropertyPluginPtr>& plugins,
                                                                   const LAPropertyPluginEventFilter& filter) {
    std::vector<LAPropertyPluginPtr> accepted;
    for (const auto& plugin : plugins)
        if (plugin->isMatchedWithFilter(filter)) accepted.push_back(plugin);
    return accepted;
}

std::vector<LAPropertyPluginPtr>
LAPropertyPluginManager::pluginsWithFilter(const LAPropertyPluginEventFilter& filter) const {
    return matching(lists_.get(&Lists::plugins), filter);
}

std::vector<LAPropertyPluginPtr>
LAPropertyPluginManager::superPluginsWithFilter(const LAPropertyPluginEventFilter& filter) const {
    return matching(lists_.get(&Lists::superPlugins), filter);
}

platform::Value::Dictionary LAPropertyPluginManager::propertiesWithPlugins(std::vector<LAPropertyPluginPtr> plugins,
                                                                           const LAPropertyPluginEventFilter* filter) {
    std::stable_sort(plugins.begin(), plugins.end(), [](const LAPropertyPluginPtr& a, const LAPropertyPluginPtr& b) {
        return a->priority() < b->priority();
    });
    auto state = std::make_shared<MergeState>();
    for (const auto& plugin : plugins) {
        auto wait = std::make_shared<PluginWait>();
        wait->merge = state;
        plugin->setHandler([wait](const platform::Value::Dictionary& delivered) {
            std::lock_guard lock(wait->merge->mutex);
            if (!wait->open) return;
            merge(wait->merge->result, delivered);
            wait->arrived = true;
            wait->merge->delivered.notify_all();
        });
        plugin->setFilter(filter);
        auto properties = plugin->properties();
        if (plugin->respondsToPrepare() && !properties) {
            std::unique_lock lock(state->mutex);
            state->delivered.wait_for(lock, std::chrono::nanoseconds(asyncPluginWaitNanoseconds),
                                      [&] { return wait->arrived; });
            wait->open = false;
        } else {
            std::lock_guard lock(state->mutex);
            wait->open = false;
            if (properties) merge(state->result, *properties);
        }
        plugin->setFilter(nullptr);
    }
    std::lock_guard lock(state->mutex);
    return state->result;
}

platform::Value::Dictionary
LAPropertyPluginManager::currentPropertiesForPluginClasses(const std::vector<platform::ClassPtr>& classes) const {
    auto ofClasses = [&](const std::vector<LAPropertyPluginPtr>& list) {
        std::vector<LAPropertyPluginPtr> found;
        for (const auto& plugin : list)
            for (const auto& cls : classes)
                if (cls && plugin->getClass() == cls) found.push_back(plugin);
        return found;
    };
    auto [ordinary, supers] = lists_.read(
        [&](const Lists& lists) { return std::pair(ofClasses(lists.plugins), ofClasses(lists.superPlugins)); });
    auto result = propertiesWithPlugins(std::move(ordinary), nullptr);
    merge(result, propertiesWithPlugins(std::move(supers), nullptr));
    return result;
}

LAPropertyPluginPtr LAPropertyPluginManager::pluginsWithPluginClass(const platform::ClassPtr& pluginClass) const {
    if (!pluginClass) return nullptr;
    auto isOfClass = [&](const LAPropertyPluginPtr& plugin) { return plugin && plugin->isKindOfClass(*pluginClass); };
    return lists_.read([&](const Lists& lists) -> LAPropertyPluginPtr {
        for (const auto& [name, queue] : lists.customPlugins)
            if (!queue.empty() && isOfClass(queue.front())) return queue.front();
        for (const auto* list : {&lists.plugins, &lists.superPlugins})
            for (const auto& plugin : *list)
                if (isOfClass(plugin)) return plugin;
        return nullptr;
    });
}

}  // namespace LumenAnalyticsSDK
