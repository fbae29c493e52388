// Property value rules of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAPropertyValue.h"

#include <cmath>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"
#include "platform/foundation/UTF16.h"

namespace LumenAnalyticsSDK {
namespace {

platform::Value cutString(const std::string& text, const std::string& key) {
    std::size_t limit = key == "app_crashed_reason" ? kLACrashReasonMaxLength : kLAPropertyValueMaxLength;
    if (platform::utf16Count(text) < limit) return text;
    LALogWarn(text + "'s length is longer than " + std::to_string(limit));
    return platform::utf16Prefix(text, limit - 1) + "$";
}

// Each element that is a property value, run through its own rule and turned into text.
std::vector<platform::Value> elementTexts(const std::vector<platform::Value>& elements, const std::string& key,
                                          platform::ErrorPtr& error) {
    std::vector<platform::Value> texts;
    for (const auto& element : elements) {
        if (!lumen_isPropertyValue(element)) continue;
        auto valid = lumen_propertyValueWithKey(element, key, error);
        if (!valid) continue;
        // A Boolean is a number here and is written as one.
        if (const auto flag = valid->asBool()) texts.emplace_back(*flag ? "1" : "0");
        else texts.emplace_back(lumen_toString(*valid));
    }
    return texts;
}

}  // namespace

bool lumen_isPropertyValue(const platform::Value& value) {
    using Kind = platform::Value::Kind;
    switch (value.kind()) {
        case Kind::null:
        case Kind::boolean:
        case Kind::int64:
        case Kind::uint64:
        case Kind::real:
        case Kind::string:
        case Kind::date:
        case Kind::array:
        case Kind::set: return true;
        case Kind::data:
        case Kind::dictionary:
        case Kind::object: return false;
    }
    return false;
}

std::optional<platform::Value> lumen_propertyValueWithKey(const platform::Value& value, const std::string& key,
                                                          platform::ErrorPtr& error) {
    using Kind = platform::Value::Kind;
    switch (value.kind()) {
        case Kind::string: return cutString(*value.asString(), key);
        // Not-a-number and either infinity would make the whole event unwritable as JSON.
        case Kind::real: return std::isfinite(*value.asDouble()) ? std::optional(value) : std::nullopt;
        case Kind::boolean:
        case Kind::int64:
        case Kind::uint64:
        case Kind::date: return value;
        case Kind::array: return platform::Value(elementTexts(*value.asArray(), key, error));
        case Kind::set: {
            platform::Value::Set set;
            for (auto& text : elementTexts(value.asSet()->members, key, error)) set.insert(std::move(text));
            return platform::Value(std::move(set));
        }
        default: return std::nullopt;
    }
}

}  // namespace LumenAnalyticsSDK
