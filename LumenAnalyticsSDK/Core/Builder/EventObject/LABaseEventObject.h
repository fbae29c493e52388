// An analytics event on its way through the track flow: its kind (one type bit), identity,
// library block, time, properties, and the wire form that is stored and uploaded.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAEventLibObject.h"
#include "LumenAnalyticsSDK/Core/Builder/LAPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"
#include "platform/base/Error.h"
#include "platform/base/Protected.h"
#include "platform/base/Value.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

// The kinds of event, as bits: property plugins test them.
enum LAEventType : std::uint64_t {
    LAEventTypeTrack = 1,
    LAEventTypeSignup = 2,
    LAEventTypeBind = 4,
    LAEventTypeUnbind = 8,
    LAEventTypeProfileSet = 16,
    LAEventTypeProfileSetOnce = 32,
    LAEventTypeProfileUnset = 64,
    LAEventTypeProfileDelete = 128,
    LAEventTypeProfileAppend = 256,
    LAEventTypeProfileIncrement = 512,
    LAEventTypeItemSet = 1024,
    LAEventTypeItemDelete = 2048,
    // The four track kinds together: what an unknown type string stands for.
    LAEventTypeDefault = 15,
};

// Milliseconds since 1970 as a whole number, or none when the value is not finite or
// lies outside [0, 2^63): such a number is not a time and must never be cast.
std::optional<std::int64_t> LAMillisecondsFromDouble(double milliseconds);

// Validates its own properties with the rule every dictionary follows; kinds of event
// with their own value rules refine `lumen_validKey`.
class LABaseEventObject : public platform::Object,
                          public LAPropertyPluginEventFilter,
                          public LAEventPropertyValidatorProtocol {
    PLATFORM_OBJECT(LABaseEventObject, platform::Object)
public:
    // A native track event made now: a fresh track id, the current time and uptime.
    LABaseEventObject();
    // An event a web page sent through the bridge (its "type", "lib", "time", identity,
    // "properties" with "$time", "project" and "token" taken out, "is_instant_event").
    explicit LABaseEventObject(const platform::Value::Dictionary& h5Event);

    // The bit of a type string; the default type for anything else.
    static std::uint64_t eventTypeWithType(const std::optional<std::string>& type);
    // The string of the first bit set, testing track kinds before profile and item
    // kinds, bind and unbind last; none when no known bit is set.
    static std::optional<std::string> typeWithEventType(std::uint64_t type);

    virtual bool isSignUp() const { return false; }
    // An event validating its own properties names itself in error 10005.
    std::string lumen_validatorDescription() const override { return description(); }
    // The event's own checks; the base has none. Never drops the event.
    virtual platform::ErrorPtr validateEvent() { return nullptr; }
    // The wire form: a key whose value is unset is left out.
    virtual platform::Value::Dictionary jsonObject() const;

    // The event's name: the event id, without a timer suffix; none when the id is
    // unset or is a timer id too short to hold a name.
    std::optional<std::string> eventName() const;

    // What property plugins see of the event.
    std::string event() const override { return eventName().value_or(""); }
    std::uint64_t typeBits() const override { return type; }
    std::int64_t time() const override { return time_; }
    const LAPropertyPluginLibFilter* libFilter() const override { return lib.get(); }
    bool hybridH5() const override { return hybridH5_; }

    void setTime(std::int64_t milliseconds) { time_ = milliseconds; }
    void setHybridH5(bool hybridH5) { hybridH5_ = hybridH5; }

    // The properties are read and replaced whole, under a lock.
    platform::Value::Dictionary properties() const;
    void setProperties(platform::Value::Dictionary properties);

    bool ignoreRemoteConfig = false;
    bool isInstantEvent = false;
    std::optional<std::string> distinctId, loginId, anonymousId, originalId;
    // The name as the caller passed it; a timed event's id carries the timer suffix.
    std::optional<std::string> eventId;
    std::uint64_t type = LAEventTypeTrack;
    LAEventLibObjectPtr lib;
    // "_track_id": a random unsigned 32-bit number.
    platform::Value trackId;
    std::optional<std::string> project, token;
    // Uptime in milliseconds at creation; event durations are measured against it.
    std::uint64_t currentSystemUpTime = 0;
    std::optional<platform::Value::Dictionary> identities;

protected:
    // The entries every kind's wire form shares after its own leading ones.
    void addTypeTimeAndLib(platform::Value::Dictionary& json) const;
    void addProjectAndToken(platform::Value::Dictionary& json) const;

private:
    std::int64_t time_ = 0;
    bool hybridH5_ = false;
    platform::Protected<platform::Value::Dictionary> properties_;
};

using LABaseEventObjectPtr = std::shared_ptr<LABaseEventObject>;

}  // namespace LumenAnalyticsSDK
