// Profile events: setting, setting once, unsetting, deleting, appending to and
// incrementing the user's profile properties. Append and increment check their values.
#pragma once
#include <string>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"

namespace LumenAnalyticsSDK {

class LAProfileEventObject : public LABaseEventObject {
    PLATFORM_OBJECT(LAProfileEventObject, LABaseEventObject)
public:
    // `type` is a profile type string ("profile_set" …).
    explicit LAProfileEventObject(const std::string& type);
    explicit LAProfileEventObject(const platform::Value::Dictionary& h5Event) : LABaseEventObject(h5Event) {}
};

// Values must be numbers.
class LAProfileIncrementEventObject : public LAProfileEventObject {
    PLATFORM_OBJECT(LAProfileIncrementEventObject, LAProfileEventObject)
public:
    using LAProfileEventObject::LAProfileEventObject;
    std::optional<platform::Value> lumen_validKey(const std::string& key, const platform::Value& value,
                                                  platform::ErrorPtr& error) const override;
};

// Values must be arrays or sets.
class LAProfileAppendEventObject : public LAProfileEventObject {
    PLATFORM_OBJECT(LAProfileAppendEventObject, LAProfileEventObject)
public:
    using LAProfileEventObject::LAProfileEventObject;
    std::optional<platform::Value> lumen_validKey(const std::string& key, const platform::Value& value,
                                                  platform::ErrorPtr& error) const override;
};

}  // namespace LumenAnalyticsSDK
