// Asks the event timers for the duration of the event being built.
#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LAEventDurationPropertyPlugin.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/Tracker/LATrackTimer.h"

namespace LumenAnalyticsSDK {

PLATFORM_REGISTER_CLASS(LAEventDurationPropertyPlugin);

std::shared_ptr<LAEventDurationPropertyPlugin>
LAEventDurationPropertyPlugin::create(const std::shared_ptr<LATrackTimer>& trackTimer) {
    if (!trackTimer) return nullptr;
    return std::make_shared<LAEventDurationPropertyPlugin>(trackTimer);
}

std::optional<platform::Value::Dictionary> LAEventDurationPropertyPlugin::properties() {
    const auto* event = dynamic_cast<const LABaseEventObject*>(filter());
    auto timer = trackTimer_.lock();
    if (!event || !timer || !event->eventId) return std::nullopt;
    auto duration = timer->eventDurationFromEventId(*event->eventId, event->currentSystemUpTime);
    if (!duration) return std::nullopt;
    return platform::Value::Dictionary{{"event_duration", *duration}};
}

}  // namespace LumenAnalyticsSDK
