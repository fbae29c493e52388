// Turns an event a web page sent through the bridge into the event object of its kind.
#pragma once
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"

namespace LumenAnalyticsSDK {

class LAEventObjectFactory {
public:
    // By the event's "type": the track kinds and profile kinds get their own classes;
    // item events and unknown types a plain event.
    static LABaseEventObjectPtr eventObjectWithH5Event(const platform::Value::Dictionary& h5Event);
};

}  // namespace LumenAnalyticsSDK
