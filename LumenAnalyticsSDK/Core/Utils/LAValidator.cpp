// Key and event-name rules of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"

#include <algorithm>

#include "LumenAnalyticsSDK/Core/Utils/LACommonUtility.h"
#include "platform/foundation/UTF16.h"

namespace LumenAnalyticsSDK {
namespace {

bool isASCIILetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isASCIIDigit(char c) { return c >= '0' && c <= '9'; }
char lowered(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isIdentifier(std::string_view key) {
    if (key.empty() || !(isASCIILetter(key[0]) || key[0] == '_' || key[0] == '$')) return false;
    return std::all_of(key.begin() + 1, key.end(),
                       [](char c) { return isASCIILetter(c) || isASCIIDigit(c) || c == '_' || c == '$'; });
}

bool isReserved(std::string_view key) {
    std::string lower(key.size(), '\0');
    std::transform(key.begin(), key.end(), lower.begin(), lowered);
    return LAReservedKeywordSet().count(lower) > 0 || lower.starts_with("user_tag") || lower.starts_with("user_group");
}

}  // namespace

platform::ErrorPtr LAPropertyError(std::int64_t code, std::string message) {
    return platform::NSError::withDescription(LumenAnalyticsErrorDomain, code, std::move(message));
}

bool LAValidator::isValidString(const platform::Value& object) {
    return object.isString() && !object.asString()->empty();
}

bool LAValidator::isValidArray(const platform::Value& object) { return object.isArray() && !object.asArray()->empty(); }

bool LAValidator::isValidDictionary(const platform::Value& object) {
    return object.isDictionary() && !object.asDictionary()->empty();
}

bool LAValidator::isValidData(const platform::Value& object) { return object.isData() && !object.asData()->isEmpty(); }

platform::ErrorPtr LAValidator::validKey(const platform::Value& key) {
    if (key.isNull()) return LAPropertyError(LAValidatorErrorNil, "Property key or Event name should not be nil");
    if (!key.isString()) {
        return LAPropertyError(LAValidatorErrorNotString,
                               "Property key or Event name must be string, not " + key.typeName());
    }
    return validKey(std::string_view(*key.asString()));
}

platform::ErrorPtr LAValidator::validKey(std::string_view key) {
    if (key.empty()) return LAPropertyError(LAValidatorErrorEmpty, "Property key or Event name is empty");
    if (auto error = reservedKeywordCheckForObject(key)) return error;
    if (platform::utf16Count(key) > kLAPropertyKeyMaxLength) {
        return LAPropertyError(LAValidatorErrorOverflow, "Property key or Event name " + std::string(key) +
                                                             "'s length is longer than " +
                                                             std::to_string(kLAPropertyKeyMaxLength));
    }
    return nullptr;
}

platform::ErrorPtr LAValidator::reservedKeywordCheckForObject(std::string_view key) {
    if (isIdentifier(key) && !isReserved(key)) return nullptr;
    return LAPropertyError(LAValidatorErrorInvalid,
                           "Property Key or Event name: [" + std::string(key) + "] is invalid.");
}

}  // namespace LumenAnalyticsSDK
