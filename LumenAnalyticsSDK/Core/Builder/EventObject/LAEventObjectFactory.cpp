// The class of a web-page event by its type.
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAEventObjectFactory.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAProfileEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"

namespace LumenAnalyticsSDK {

LABaseEventObjectPtr LAEventObjectFactory::eventObjectWithH5Event(const platform::Value::Dictionary& h5Event) {
    const auto typeEntry = h5Event.find("type");
    const std::optional<std::string> type = typeEntry != h5Event.end() && typeEntry->second.isString()
                                                ? std::optional(*typeEntry->second.asString())
                                                : std::nullopt;
    switch (LABaseEventObject::eventTypeWithType(type)) {
        case LAEventTypeTrack: return std::make_shared<LACustomEventObject>(h5Event);
        case LAEventTypeSignup: return std::make_shared<LASignUpEventObject>(h5Event);
        case LAEventTypeBind: return std::make_shared<LABindEventObject>(h5Event);
        case LAEventTypeUnbind: return std::make_shared<LAUnbindEventObject>(h5Event);
        case LAEventTypeProfileSet:
        case LAEventTypeProfileSetOnce:
        case LAEventTypeProfileUnset:
        case LAEventTypeProfileDelete: return std::make_shared<LAProfileEventObject>(h5Event);
        case LAEventTypeProfileAppend: return std::make_shared<LAProfileAppendEventObject>(h5Event);
        case LAEventTypeProfileIncrement: return std::make_shared<LAProfileIncrementEventObject>(h5Event);
        default: return std::make_shared<LABaseEventObject>(h5Event);
    }
}

}  // namespace LumenAnalyticsSDK
