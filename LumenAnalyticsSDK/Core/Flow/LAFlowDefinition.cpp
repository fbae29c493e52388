// Shared reading of definition dictionaries and definition files.
#include "LumenAnalyticsSDK/Core/Flow/LAFlowDefinition.h"

#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"
#include "platform/files/FileManager.h"

namespace LumenAnalyticsSDK::LAFlowDefinition {

std::string stringOf(const platform::Value::Dictionary& definition, const char* key) {
    const auto found = definition.find(key);
    return found == definition.end() ? std::string() : found->second.stringValue();
}

platform::Value::Dictionary dictionaryOf(const platform::Value::Dictionary& definition, const char* key) {
    const auto found = definition.find(key);
    if (found == definition.end() || !found->second.isDictionary()) return {};
    return *found->second.asDictionary();
}

std::optional<platform::Value::Array> readDefinitionFile(const std::optional<std::string>& path) {
    if (!path) return std::nullopt;
    const auto data = platform::FileManager::defaultManager()->contents(*path);
    if (!data) return std::nullopt;
    const auto parsed = LAJSONUtil::JSONObjectWithData(*data);
    if (!parsed || !parsed->isArray()) return platform::Value::Array{};
    return *parsed->asArray();
}

}  // namespace LumenAnalyticsSDK::LAFlowDefinition
