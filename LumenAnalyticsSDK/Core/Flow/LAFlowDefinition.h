// Reading flow, task and node definitions: the pieces the three definition classes share.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK::LAFlowDefinition {

// The text under `key`, "" when it is missing or not text.
std::string stringOf(const platform::Value::Dictionary& definition, const char* key);
// The dictionary under `key`, empty when it is missing or not a dictionary.
platform::Value::Dictionary dictionaryOf(const platform::Value::Dictionary& definition, const char* key);

// The definitions of a JSON file: none when there is no file; an unreadable file, or one
// that is not a list, gives no definitions.
std::optional<platform::Value::Array> readDefinitionFile(const std::optional<std::string>& path);

// Id to object for each definition that has a text "id"; later ids replace earlier ones.
template <class Object>
std::map<std::string, std::shared_ptr<Object>> load(const platform::Value::Array& resources) {
    std::map<std::string, std::shared_ptr<Object>> loaded;
    for (const auto& element : resources) {
        const auto* definition = element.asDictionary();
        if (!definition) continue;
        const auto id = definition->find("id");
        if (id == definition->end() || !id->second.isString()) continue;
        loaded.insert_or_assign(*id->second.asString(), std::make_shared<Object>(*definition));
    }
    return loaded;
}

template <class Object>
std::optional<std::map<std::string, std::shared_ptr<Object>>> loadFile(const std::optional<std::string>& path) {
    auto resources = readDefinitionFile(path);
    if (!resources) return std::nullopt;
    return load<Object>(*resources);
}

// A flow's "tasks" or a task's "nodes": inline definitions when the first element is a
// dictionary (elements that are not are passed over), else ids (non-text ids, which no
// registry can hold, are passed over).
template <class Part>
void readParts(const platform::Value& parts, std::vector<std::shared_ptr<Part>>& inlineParts,
               std::vector<std::string>& ids) {
    const auto* array = parts.asArray();
    if (!array || array->empty()) return;
    const bool isInline = array->front().isDictionary();
    for (const auto& element : *array) {
        if (isInline && element.isDictionary()) inlineParts.push_back(std::make_shared<Part>(*element.asDictionary()));
        else if (!isInline && element.isString()) ids.push_back(*element.asString());
    }
}

}  // namespace LumenAnalyticsSDK::LAFlowDefinition
