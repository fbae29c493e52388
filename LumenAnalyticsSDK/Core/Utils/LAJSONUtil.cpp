// JSON of the analytics client's events.
#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"

#include "LumenAnalyticsSDK/Core/Utils/LADateFormatter.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"

namespace LumenAnalyticsSDK {
namespace {

platform::Value coercedElements(const std::vector<platform::Value>& elements) {
    platform::Value::Array out;
    for (const auto& element : elements) {
        if (auto coerced = LAJSONUtil::JSONSerializableObject(element)) out.push_back(std::move(*coerced));
    }
    return out;
}

}  // namespace

std::optional<platform::Value> LAJSONUtil::JSONSerializableObject(const platform::Value& object) {
    using Kind = platform::Value::Kind;
    switch (object.kind()) {
        case Kind::null: return std::nullopt;
        // Numbers keep their kind; doubles are written in their shortest exact form (0.1 as 0.1).
        case Kind::boolean:
        case Kind::int64:
        case Kind::uint64:
        case Kind::real:
        case Kind::string: return object;
        case Kind::array: return coercedElements(*object.asArray());
        case Kind::set: return coercedElements(object.asSet()->members);
        case Kind::dictionary: {
            platform::Value::Dictionary out;
            for (const auto& [key, value] : *object.asDictionary()) {
                if (auto coerced = JSONSerializableObject(value)) out.emplace(key, std::move(*coerced));
            }
            return out;
        }
        case Kind::date: return LADateFormatter::stringFromDate(*object.asDate());
        case Kind::data:
        case Kind::object: break;
    }
    std::string text = lumen_toString(object);
    LALogWarn("property values should be valid json types, but current value: " + text +
              ", with invalid type: " + object.typeName());
    return text;
}

std::optional<platform::Data> LAJSONUtil::dataWithJSONObject(const platform::Value& object) {
    auto coerced = JSONSerializableObject(object);
    if (!coerced || !platform::JSONSerialization::isValidJSONObject(*coerced)) {
        LALogError("LAJSONUtil obj is not valid JSON: " + lumen_toString(object));
        return std::nullopt;
    }
    auto data = platform::JSONSerialization::data(*coerced);
    if (!data.isSuccess()) {
        LALogError("LAJSONUtil error encoding api data: " + data.error()->localizedDescription());
        return std::nullopt;
    }
    return data.value();
}

std::optional<std::string> LAJSONUtil::stringWithJSONObject(const platform::Value& object) {
    auto data = dataWithJSONObject(object);
    if (!data || data->isEmpty()) {
        LALogWarn("json data is invalid");
        return std::nullopt;
    }
    return data->toString();
}

std::optional<platform::Value> LAJSONUtil::JSONObjectWithData(const std::optional<platform::Data>& data) {
    if (!data || data->isEmpty()) {
        LALogWarn("json data is invalid");
        return std::nullopt;
    }
    return JSONObjectWithData(data, {});
}

std::optional<platform::Value> LAJSONUtil::JSONObjectWithData(const std::optional<platform::Data>& data,
                                                              platform::JSONReadingOptions options) {
    if (!data || data->isEmpty()) return std::nullopt;
    auto object = platform::JSONSerialization::jsonObject(*data, options);
    if (!object.isSuccess()) {
        LALogError("json serialization error: " + object.error()->localizedDescription());
        return std::nullopt;
    }
    return object.value();
}

std::optional<platform::Value> LAJSONUtil::JSONObjectWithString(const std::optional<std::string>& string,
                                                                platform::JSONReadingOptions options) {
    if (!string || string->empty()) {
        LALogWarn("string verify failure: " + string.value_or("(null)"));
        return std::nullopt;
    }
    return JSONObjectWithData(platform::Data::fromString(*string), options);
}

}  // namespace LumenAnalyticsSDK
