// Text forms of values for the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"

#include "LumenAnalyticsSDK/Core/Utils/LADateFormatter.h"
#include "platform/foundation/TextForms.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

std::string lumen_toString(const platform::Value& value) {
    if (auto text = value.asString()) return *text;
    if (auto date = value.asDate()) return LADateFormatter::stringFromDate(*date);
    if (auto object = value.asObject()) return object->description();
    return platform::valueText(value);
}

}  // namespace LumenAnalyticsSDK
