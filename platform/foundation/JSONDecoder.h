// JSON -> decodable values, with the key, date and data strategies of the platform's
// JSON decoder. `decode` throws ErrorException carrying a DecodingError; text that
// is not JSON is dataCorrupted("The given data was not valid JSON.") with the
// reader's error beneath it.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/base/Data.h"
#include "platform/base/Result.h"
#include "platform/base/Value.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/DateFormatter.h"

namespace platform {

class JSONDecoder {
public:
    enum class KeyDecodingStrategy { useDefaultKeys, convertFromSnakeCase };
    struct DateDecodingStrategy {
        enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, formatted, custom };
        Kind kind = Kind::deferredToDate;
        std::shared_ptr<const DateFormatter> formatter;
        std::function<Date(Decoder&)> custom;
        static DateDecodingStrategy deferredToDate() { return {Kind::deferredToDate, nullptr, nullptr}; }
        static DateDecodingStrategy secondsSince1970() { return {Kind::secondsSince1970, nullptr, nullptr}; }
        static DateDecodingStrategy millisecondsSince1970() { return {Kind::millisecondsSince1970, nullptr, nullptr}; }
        static DateDecodingStrategy iso8601() { return {Kind::iso8601, nullptr, nullptr}; }
        static DateDecodingStrategy formatted(std::shared_ptr<const DateFormatter> f) {
            return {Kind::formatted, std::move(f), nullptr};
        }
        static DateDecodingStrategy customDecoding(std::function<Date(Decoder&)> f) {
            return {Kind::custom, nullptr, std::move(f)};
        }
    };
    enum class DataDecodingStrategy { deferredToData, base64 };

    KeyDecodingStrategy keyDecodingStrategy = KeyDecodingStrategy::useDefaultKeys;
    DateDecodingStrategy dateDecodingStrategy;
    DataDecodingStrategy dataDecodingStrategy = DataDecodingStrategy::base64;
    Value::Dictionary userInfo;

    template <class T>
    T decode(const Data& json) const {
        return decodeFromValue<T>(parse(json));
    }
    template <class T>
    T decode(std::string_view json) const {
        return decode<T>(Data::fromString(json));
    }
    // Decodes from a Value tree as JSON would have given it.
    template <class T>
    T decodeFromValue(const Value& tree) const {
        auto decoder = makeDecoder(tree);
        return decodeValue<T>(*decoder);
    }
    // As decode, with the error as a value instead of thrown.
    template <class T>
    Result<T> decodeResult(const Data& json) const {
        try {
            return Result<T>::success(decode<T>(json));
        } catch (...) {
            return Result<T>::failure(errorFromCurrentException());
        }
    }

private:
    Value parse(const Data& json) const;
    std::shared_ptr<Decoder> makeDecoder(const Value& tree) const;
};

}  // namespace platform
