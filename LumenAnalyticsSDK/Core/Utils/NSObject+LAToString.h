// A value as the text the client stores where only text fits (elements of array
// properties, messages): strings as they are, dates in the event date form.
#pragma once
#include <string>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

std::string lumen_toString(const platform::Value& value);

}  // namespace LumenAnalyticsSDK
