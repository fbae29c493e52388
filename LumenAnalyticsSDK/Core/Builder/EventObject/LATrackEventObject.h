// The track kinds of event: custom, preset and auto-tracked events, sign-up, and the
// binding and unbinding of identities. Their names follow the property-key rules.
#pragma once
#include <string>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"

namespace LumenAnalyticsSDK {

class LATrackEventObject : public LABaseEventObject {
    PLATFORM_OBJECT(LATrackEventObject, LABaseEventObject)
public:
    // An event without a name.
    LATrackEventObject() = default;
    explicit LATrackEventObject(std::string eventId);
    explicit LATrackEventObject(const platform::Value::Dictionary& h5Event) : LABaseEventObject(h5Event) {}

    // The event name must be a valid property key.
    platform::ErrorPtr validateEvent() override;
};

class LACustomEventObject : public LATrackEventObject {
    PLATFORM_OBJECT(LACustomEventObject, LATrackEventObject)
public:
    using LATrackEventObject::LATrackEventObject;
};

class LAPresetEventObject : public LATrackEventObject {
    PLATFORM_OBJECT(LAPresetEventObject, LATrackEventObject)
public:
    using LATrackEventObject::LATrackEventObject;
};

// An event the client tracked by itself: its library method says so.
class LAAutoTrackEventObject : public LATrackEventObject {
    PLATFORM_OBJECT(LAAutoTrackEventObject, LATrackEventObject)
public:
    explicit LAAutoTrackEventObject(std::string eventId);
};

// A login: always uploaded at once, and carries the original id.
class LASignUpEventObject : public LATrackEventObject {
    PLATFORM_OBJECT(LASignUpEventObject, LATrackEventObject)
public:
    explicit LASignUpEventObject(std::string eventId);
    explicit LASignUpEventObject(const platform::Value::Dictionary& h5Event);

    bool isSignUp() const override { return true; }
    platform::Value::Dictionary jsonObject() const override;
};

class LABindEventObject : public LATrackEventObject {
    PLATFORM_OBJECT(LABindEventObject, LATrackEventObject)
public:
    explicit LABindEventObject(std::string eventId);
    explicit LABindEventObject(const platform::Value::Dictionary& h5Event);
};

class LAUnbindEventObject : public LATrackEventObject {
    PLATFORM_OBJECT(LAUnbindEventObject, LATrackEventObject)
public:
    explicit LAUnbindEventObject(std::string eventId);
    explicit LAUnbindEventObject(const platform::Value::Dictionary& h5Event);
};

}  // namespace LumenAnalyticsSDK
