// The rules for property keys and event names (identifier-like, not reserved, at most
// 100 UTF-16 units), small type checks, and the client's validation errors.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

inline constexpr const char* LumenAnalyticsErrorDomain = "LumenAnalyticsErrorDomain";

// Limits, in UTF-16 units as the collector counts text.
inline constexpr std::size_t kLAPropertyKeyMaxLength = 100;
inline constexpr std::size_t kLAPropertyValueMaxLength = 8192;
inline constexpr std::size_t kLACrashReasonMaxLength = 16384;  // for "app_crashed_reason"

// Error codes: 10004-10007 for values, 20001-20006 for keys and event names.
enum LAValidatorError : std::int64_t {
    LAValidatorErrorKeyNotString = 10004,
    LAValidatorErrorInvalidValue = 10005,
    LAValidatorErrorProfileAppend = 10006,
    LAValidatorErrorProfileIncrement = 10007,
    LAValidatorErrorNil = 20001,
    LAValidatorErrorNotString = 20002,
    LAValidatorErrorEmpty = 20003,
    LAValidatorErrorRegexInit = 20004,
    LAValidatorErrorInvalid = 20005,
    LAValidatorErrorOverflow = 20006,
};

// An error of the client's domain with `message` as its localized description.
platform::ErrorPtr LAPropertyError(std::int64_t code, std::string message);

class LAValidator {
public:
    // True for a value of that kind that is not empty.
    static bool isValidString(const platform::Value& object);
    static bool isValidArray(const platform::Value& object);
    static bool isValidDictionary(const platform::Value& object);
    static bool isValidData(const platform::Value& object);

    // Null when the key is valid; else the first failure: null (20001), not a string
    // (20002), empty (20003), reserved or not identifier-like (20005), too long (20006).
    static platform::ErrorPtr validKey(const platform::Value& key);
    static platform::ErrorPtr validKey(std::string_view key);
    // Null when the key is identifier-like ("_", "$" or an ASCII letter first, then ASCII
    // letters, digits, "_" or "$") and not reserved (the reserved names, or "user_tag…"
    // and "user_group…", compared ignoring case); else 20005. Matched by hand: a key of
    // any length costs one pass.
    static platform::ErrorPtr reservedKeywordCheckForObject(std::string_view key);
};

}  // namespace LumenAnalyticsSDK
