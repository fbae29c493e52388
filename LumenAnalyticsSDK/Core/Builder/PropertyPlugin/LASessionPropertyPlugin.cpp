// Applies the session rule to the event being built.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LASessionPropertyPlugin.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LASessionPropertyPlugin);

std::shared_ptr<LASessionPropertyPlugin>
LASessionPropertyPlugin::create(const std::shared_ptr<LASessionProperty>& sessionProperty) {
    if (!sessionProperty) return nullptr;
    return std::make_shared<LASessionPropertyPlugin>(sessionProperty);
}

std::optional<platform::Value::Dictionary> LASessionPropertyPlugin::properties() {
    const auto* event = filter();
    auto session = sessionProperty_.lock();
    if (!event || !session) return std::nullopt;
    return session->sessionPropertiesWithEventTime(static_cast<std::uint64_t>(event->time()));
}

}  // namespace LumenAnalyticsSDK
