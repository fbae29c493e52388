// Encodable values -> JSON, with the key, date and data strategies of the platform's
// JSON encoder. `encode` throws ErrorException carrying an EncodingError.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/base/Data.h"
#include "platform/base/OptionSet.h"
#include "platform/base/Value.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/DateFormatter.h"

namespace platform {

// "myURLProperty" -> "my_url_property"; leading and trailing underscores are kept.
std::string convertToSnakeCase(std::string_view key);
// "my_url_property" -> "myUrlProperty"; leading and trailing underscores are kept.
std::string convertFromSnakeCase(std::string_view key);

struct JSONOutputFormatting : OptionSet<JSONOutputFormatting> {
    using OptionSet::OptionSet;
    constexpr JSONOutputFormatting(OptionSet o) : OptionSet(o) {}
    static const JSONOutputFormatting prettyPrinted, sortedKeys, withoutEscapingSlashes;
};
inline constexpr JSONOutputFormatting JSONOutputFormatting::prettyPrinted{1};
inline constexpr JSONOutputFormatting JSONOutputFormatting::sortedKeys{2};
inline constexpr JSONOutputFormatting JSONOutputFormatting::withoutEscapingSlashes{8};

class JSONEncoder {
public:
    using OutputFormatting = JSONOutputFormatting;
    enum class KeyEncodingStrategy { useDefaultKeys, convertToSnakeCase };
    struct DateEncodingStrategy {
        enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, formatted, custom };
        Kind kind = Kind::deferredToDate;
        std::shared_ptr<const DateFormatter> formatter;  // formatted
        std::function<void(Date, Encoder&)> custom;      // custom
        static DateEncodingStrategy deferredToDate() { return {Kind::deferredToDate, nullptr, nullptr}; }
        static DateEncodingStrategy secondsSince1970() { return {Kind::secondsSince1970, nullptr, nullptr}; }
        static DateEncodingStrategy millisecondsSince1970() { return {Kind::millisecondsSince1970, nullptr, nullptr}; }
        // Internet date-time in UTC without fractional seconds: "2024-01-02T03:04:05Z".
        static DateEncodingStrategy iso8601() { return {Kind::iso8601, nullptr, nullptr}; }
        static DateEncodingStrategy formatted(std::shared_ptr<const DateFormatter> f) {
            return {Kind::formatted, std::move(f), nullptr};
        }
        static DateEncodingStrategy customEncoding(std::function<void(Date, Encoder&)> f) {
            return {Kind::custom, nullptr, std::move(f)};
        }
    };
    enum class DataEncodingStrategy { deferredToData, base64 };

    OutputFormatting outputFormatting{};
    KeyEncodingStrategy keyEncodingStrategy = KeyEncodingStrategy::useDefaultKeys;
    DateEncodingStrategy dateEncodingStrategy;
    DataEncodingStrategy dataEncodingStrategy = DataEncodingStrategy::base64;
    Value::Dictionary userInfo;

    // The value's JSON text; a top-level scalar is allowed.
    template <class T>
    Data encode(const T& value) const {
        return encodeTree([&value](Encoder& e) { encodeValue(e, value); });
    }
    // The value as the Value tree that would be written.
    template <class T>
    Value encodeToValue(const T& value) const {
        return encodeToTree([&value](Encoder& e) { encodeValue(e, value); });
    }

private:
    Data encodeTree(const std::function<void(Encoder&)>& encodeSelf) const;
    Value encodeToTree(const std::function<void(Encoder&)>& encodeSelf) const;
};

}  // namespace platform
