// The property plugin base: the ready-properties hand-out used by asynchronous plugins.
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAPropertyPlugin);

bool LAPropertyPlugin::isMatchedWithFilter(const LAPropertyPluginEventFilter&) const { return true; }

std::optional<platform::Value::Dictionary> LAPropertyPlugin::properties() { return readyProperties(); }

void LAPropertyPlugin::readyWithProperties(const platform::Value::Dictionary& properties) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        properties_ = properties;
        handler = handler_;
    }
    if (handler) handler(properties);
}

void LAPropertyPlugin::setFilter(const LAPropertyPluginEventFilter* filter) {
    std::lock_guard lock(mutex_);
    filter_ = filter;
}

const LAPropertyPluginEventFilter* LAPropertyPlugin::filter() const {
    std::lock_guard lock(mutex_);
    return filter_;
}

void LAPropertyPlugin::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::optional<platform::Value::Dictionary> LAPropertyPlugin::readyProperties() const {
    std::lock_guard lock(mutex_);
    return properties_;
}

}  // namespace LumenAnalyticsSDK
