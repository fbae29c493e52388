// Deep copies of event properties, made before the host's dictionary enters the client,
// so that later changes by the host cannot reach a queued event.
#pragma once
#include <optional>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

// Strings, numbers and dates are copied; arrays and dictionaries go through a JSON round
// trip (an entry that JSON cannot hold is left out); a set becomes an array the same way;
// anything else is kept as it is.
platform::Value::Dictionary lumen_deepCopy(const platform::Value::Dictionary& properties);

// The value written as JSON and read back; none when JSON cannot hold it.
std::optional<platform::Value> lumen_copyArrayOrDictionary(const platform::Value& object);

}  // namespace LumenAnalyticsSDK
