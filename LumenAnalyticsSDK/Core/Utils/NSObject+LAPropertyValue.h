// The rules for property values: strings (long ones cut), numbers (finite only), dates,
// and arrays or sets (their elements turned into text; a collection among them becomes
// its printed form, written once and cut like a long string). Dictionaries, data and
// objects are not property values.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

// True for the kinds a property value may be (null included: it is left out quietly).
bool lumen_isPropertyValue(const platform::Value& value);

// The value to store under `key`, or none to leave the property out. A string of
// `limit` UTF-16 units or more (16384 for "app_crashed_reason", else 8192) becomes its
// first limit - 1 units (never half a character) followed by "$".
std::optional<platform::Value> lumen_propertyValueWithKey(const platform::Value& value, const std::string& key,
                                                          platform::ErrorPtr& error);

}  // namespace LumenAnalyticsSDK
