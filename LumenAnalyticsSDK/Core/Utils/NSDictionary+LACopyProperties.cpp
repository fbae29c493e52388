// Deep copies of event properties through JSON.
#include "LumenAnalyticsSDK/Core/Utils/NSDictionary+LACopyProperties.h"

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/foundation/JSONSerialization.h"

namespace LumenAnalyticsSDK {

std::optional<platform::Value> lumen_copyArrayOrDictionary(const platform::Value& object) {
    if (object.isNull() || !platform::JSONSerialization::isValidJSONObject(object)) return std::nullopt;
    auto data = platform::JSONSerialization::data(object);
    if (!data.isSuccess()) {
        LALogError(data.error()->localizedDescription());
        return std::nullopt;
    }
    auto copy = platform::JSONSerialization::jsonObject(data.value());
    if (!copy.isSuccess()) {
        LALogError(copy.error()->localizedDescription());
        return std::nullopt;
    }
    return copy.value();
}

platform::Value::Dictionary lumen_deepCopy(const platform::Value::Dictionary& properties) {
    platform::Value::Dictionary copy;
    for (const auto& [key, value] : properties) {
        std::optional<platform::Value> copied;
        if (value.isArray() || value.isDictionary()) copied = lumen_copyArrayOrDictionary(value);
        else if (auto set = value.asSet()) copied = lumen_copyArrayOrDictionary(platform::Value(set->members));
        else copied = value;
        if (copied) copy.emplace(key, std::move(*copied));
    }
    return copy;
}

}  // namespace LumenAnalyticsSDK
