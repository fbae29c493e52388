// Dates as text for the client's properties and JSON, in the en_US_POSIX forms and the
// local time zone. Each call is a pure function of (format, date): callers on different
// queues never see each other's format, unlike one shared formatter whose format each
// caller would set before use.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Date.h"

namespace LumenAnalyticsSDK {

// The form of dates in event properties and JSON.
inline constexpr const char* kLAEventDateFormat = "yyyy-MM-dd HH:mm:ss.SSS";

class LADateFormatter {
public:
    static std::string stringFromDate(platform::Date date, std::string_view dateFormat = kLAEventDateFormat);
    // None when the text does not match the format wholly.
    static std::optional<platform::Date> dateFromString(std::string_view text,
                                                        std::string_view dateFormat = kLAEventDateFormat);
};

}  // namespace LumenAnalyticsSDK
