// Date text of the analytics client through the platform's thread-safe formatting.
#include "LumenAnalyticsSDK/Core/Utils/LADateFormatter.h"

#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/TimeZone.h"

namespace LumenAnalyticsSDK {

std::string LADateFormatter::stringFromDate(platform::Date date, std::string_view dateFormat) {
    return platform::formatDate(date, dateFormat, platform::TimeZone::current());
}

std::optional<platform::Date> LADateFormatter::dateFromString(std::string_view text, std::string_view dateFormat) {
    return platform::parseDate(text, dateFormat, platform::TimeZone::current());
}

}  // namespace LumenAnalyticsSDK
