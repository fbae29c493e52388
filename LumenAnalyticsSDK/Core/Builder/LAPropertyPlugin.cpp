// The property plugin base: the ready-properties hand-out used by asynchronous plugins.
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAPropertyPlugin);

bool LAPropertyPlugin::isMatchedWithFilter(const LAPropertyPluginEventFilter&) const { return true; }

std::optional<platform::Value::Dictionary> LAPropertyPlugin::properties() { return readyProperties(); }

void LAPropertyPlugin::readyWithProperties(const platform::Value::Dictionary& properties) {
    Handler handler = state_.write([&](State& state) {
        state.properties = properties;
        return state.handler;
    });
    if (handler) handler(properties);
}

void LAPropertyPlugin::setFilter(const LAPropertyPluginEventFilter* filter) { state_.set(&State::filter, filter); }

const LAPropertyPluginEventFilter* LAPropertyPlugin::filter() const { return state_.get(&State::filter); }

void LAPropertyPlugin::setHandler(Handler handler) { state_.set(&State::handler, std::move(handler)); }

std::optional<platform::Value::Dictionary> LAPropertyPlugin::readyProperties() const {
    return state_.get(&State::properties);
}

}  // namespace LumenAnalyticsSDK
