// Events as JSON and back. Writing first coerces any value into what JSON can hold
// (dates as "yyyy-MM-dd HH:mm:ss.SSS" text, sets as arrays, other kinds as their text,
// nulls left out), so an event never fails to serialise on a stray type. Nothing
// throws: failures are logged and give none.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Data.h"
#include "platform/base/Value.h"
#include "platform/foundation/JSONSerialization.h"

namespace LumenAnalyticsSDK {

class LAJSONUtil {
public:
    // None for null (so nulls vanish from arrays and dictionaries).
    static std::optional<platform::Value> JSONSerializableObject(const platform::Value& object);
    // Compact JSON of the coerced value; none when the result is not a JSON container.
    static std::optional<platform::Data> dataWithJSONObject(const platform::Value& object);
    static std::optional<std::string> stringWithJSONObject(const platform::Value& object);

    // Without options, missing or empty data is logged ("json data is invalid"); with
    // options it gives none silently.
    static std::optional<platform::Value> JSONObjectWithData(const std::optional<platform::Data>& data);
    static std::optional<platform::Value> JSONObjectWithData(const std::optional<platform::Data>& data,
                                                             platform::JSONReadingOptions options);
    static std::optional<platform::Value> JSONObjectWithString(const std::optional<std::string>& string,
                                                               platform::JSONReadingOptions options = {});
};

}  // namespace LumenAnalyticsSDK
