// The registry of automatic-event tracker plugins, switched on and off with the client.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

// A tracker plugin installs the hooks of one kind (`type`) of automatic event.
class LAEventTrackerPlugin : public platform::Object {
    PLATFORM_OBJECT(LAEventTrackerPlugin, platform::Object)
public:
    explicit LAEventTrackerPlugin(std::string type = {}) : type_(std::move(type)) {}
    bool enable() const { return enable_; }
    void setEnable(bool enable) { enable_ = enable; }
    const std::string& type() const { return type_; }

    // A usable plugin answers true and implements install and uninstall.
    virtual bool respondsToInstall() const { return false; }
    virtual void install() {}
    virtual void uninstall() {}
    virtual void trackWithProperties(const platform::Value::Dictionary&) {}

private:
    bool enable_ = false;
    std::string type_;
};

using LAEventTrackerPluginPtr = std::shared_ptr<LAEventTrackerPlugin>;

class LAEventTrackerPluginManager {
public:
    static LAEventTrackerPluginManager& defaultManager();
    LAEventTrackerPluginManager() = default;

    // Replaces (and uninstalls) a plugin of the same type; the same object twice does nothing.
    void registerPlugin(const LAEventTrackerPluginPtr& plugin);
    void unregisterPlugin(const platform::ClassPtr& pluginClass);
    void unregisterAllPlugins();
    void enableAllPlugins();
    void disableAllPlugins();
    LAEventTrackerPluginPtr pluginWithType(const std::string& type) const;
    const std::vector<LAEventTrackerPluginPtr>& plugins() const { return plugins_; }

private:
    // Called on the client's serial queue only, as the client makes every call there.
    std::vector<LAEventTrackerPluginPtr> plugins_;
};

}  // namespace LumenAnalyticsSDK
