// Typed access to the named values of a flow run.
#include "LumenAnalyticsSDK/Core/Flow/LAFlowData.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"

namespace LumenAnalyticsSDK {

namespace {

bool boolOf(const platform::Value* value) { return value && value->asBool().value_or(false); }

}  // namespace

void LAFlowData::setParamWithKey(const std::string& key, platform::Value value) {
    if (value.isNull()) param.erase(key);
    else param[key] = std::move(value);
}

const platform::Value* LAFlowData::paramForKey(const std::string& key) const {
    const auto found = param.find(key);
    return found == param.end() ? nullptr : &found->second;
}

std::shared_ptr<LABaseEventObject> LAFlowData::eventObject() const {
    const platform::Value* stored = paramForKey(LAFlowDataEventObjectKey);
    return stored ? stored->asObject<LABaseEventObject>() : nullptr;
}

void LAFlowData::setEventObject(const std::shared_ptr<LABaseEventObject>& eventObject) {
    setParamWithKey(LAFlowDataEventObjectKey,
                    eventObject ? platform::Value(platform::ObjectPtr(eventObject)) : platform::Value());
    setIsInstantEvent(eventObject && eventObject->isInstantEvent);
}

std::optional<platform::Value::Dictionary> LAFlowData::properties() const {
    const platform::Value* stored = paramForKey(LAFlowDataPropertiesKey);
    if (!stored || !stored->isDictionary()) return std::nullopt;
    return *stored->asDictionary();
}

void LAFlowData::setProperties(std::optional<platform::Value::Dictionary> properties) {
    setParamWithKey(LAFlowDataPropertiesKey, properties ? platform::Value(std::move(*properties)) : platform::Value());
}

std::optional<std::vector<std::string>> LAFlowData::recordIDs() const {
    const platform::Value* stored = paramForKey(LAFlowDataRecordIDsKey);
    if (!stored || !stored->isArray()) return std::nullopt;
    std::vector<std::string> ids;
    for (const auto& element : *stored->asArray())
        if (const std::string* id = element.asString()) ids.push_back(*id);
    return ids;
}

void LAFlowData::setRecordIDs(const std::optional<std::vector<std::string>>& recordIDs) {
    if (!recordIDs) return setParamWithKey(LAFlowDataRecordIDsKey, nullptr);
    platform::Value::Array array(recordIDs->begin(), recordIDs->end());
    setParamWithKey(LAFlowDataRecordIDsKey, std::move(array));
}

std::optional<std::string> LAFlowData::stringForKey(const char* key) const {
    const platform::Value* stored = paramForKey(key);
    if (!stored || !stored->isString()) return std::nullopt;
    return *stored->asString();
}

void LAFlowData::setString(const char* key, const std::optional<std::string>& value) {
    setParamWithKey(key, value ? platform::Value(*value) : platform::Value());
}

std::optional<std::string> LAFlowData::json() const { return stringForKey(LAFlowDataJSONKey); }
void LAFlowData::setJson(const std::optional<std::string>& json) { setString(LAFlowDataJSONKey, json); }
std::optional<std::string> LAFlowData::cookie() const { return stringForKey(LAFlowDataCookieKey); }
void LAFlowData::setCookie(const std::optional<std::string>& cookie) { setString(LAFlowDataCookieKey, cookie); }

std::optional<platform::Data> LAFlowData::HTTPBody() const {
    const platform::Value* stored = paramForKey(LAFlowDataHTTPBodyKey);
    if (!stored || !stored->isData()) return std::nullopt;
    return *stored->asData();
}

void LAFlowData::setHTTPBody(const std::optional<platform::Data>& body) {
    setParamWithKey(LAFlowDataHTTPBodyKey, body ? platform::Value(*body) : platform::Value());
}

bool LAFlowData::flushSuccess() const { return boolOf(paramForKey(LAFlowDataFlushSuccessKey)); }
void LAFlowData::setFlushSuccess(bool flushSuccess) { param[LAFlowDataFlushSuccessKey] = flushSuccess; }
bool LAFlowData::isInstantEvent() const { return boolOf(paramForKey(LAFlowDataIsInstantEventKey)); }
void LAFlowData::setIsInstantEvent(bool isInstantEvent) { param[LAFlowDataIsInstantEventKey] = isInstantEvent; }
bool LAFlowData::isAdsEvent() const { return boolOf(paramForKey(LAFlowDataIsAdsEventKey)); }
void LAFlowData::setIsAdsEvent(bool isAdsEvent) { param[LAFlowDataIsAdsEventKey] = isAdsEvent; }

std::int64_t LAFlowData::statusCode() const {
    const platform::Value* stored = paramForKey(LAFlowDataStatusCodeKey);
    return stored ? stored->asInt64().value_or(0) : 0;
}
void LAFlowData::setStatusCode(std::int64_t statusCode) { param[LAFlowDataStatusCodeKey] = statusCode; }

std::int64_t LAFlowData::repeatCount() const {
    const platform::Value* stored = paramForKey(LAFlowDataRepeatCountKey);
    return stored ? stored->asInt64().value_or(0) : 0;
}
void LAFlowData::setRepeatCount(std::int64_t repeatCount) { param[LAFlowDataRepeatCountKey] = repeatCount; }

std::uint64_t LAFlowData::gzipCode() const {
    const platform::Value* stored = paramForKey(LAFlowDataGzipCodeKey);
    return stored ? stored->asUInt64().value_or(0) : 0;
}
void LAFlowData::setGzipCode(std::uint64_t gzipCode) { param[LAFlowDataGzipCodeKey] = gzipCode; }

}  // namespace LumenAnalyticsSDK
