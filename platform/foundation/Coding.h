// The coding layer: values describe themselves to an Encoder and rebuild themselves
// from a Decoder through keyed, unkeyed and single-value containers. JSONEncoder /
// JSONDecoder are one pair of implementations; other formats (forms) are others.
//
// How a type takes part (pick one; the first that applies is used):
//   encoding: a member `void encode(Encoder& encoder) const`, or a free function
//             `void encode(Encoder& encoder, const T& value)` found by ADL;
//   decoding: a static member `static T decode(Decoder& decoder)`, or a free function
//             `T decode(Decoder& decoder, std::type_identity<T>)` found by ADL.
// Built in: bool, integers, float, double, std::string, Data, Date, Value,
// std::optional, std::vector, std::set, std::map with text or integer keys.
//
// Containers are held by shared_ptr. An implementation overrides the named virtuals
// (encodeBool, decodeString …); callers use the `encode` / `decode<T>` templates.
// Every operation reports failure by throwing ErrorException with an EncodingError
// or DecodingError.
#pragma once
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Date.h"
#include "platform/base/Value.h"
#include "platform/foundation/CodingError.h"
#include "platform/foundation/TypeName.h"

namespace platform {

class Encoder;
class Decoder;
class KeyedEncodingContainer;
class UnkeyedEncodingContainer;
class KeyedDecodingContainer;
class UnkeyedDecodingContainer;

template <class T>
void encodeValue(Encoder& encoder, const T& value);
template <class T>
T decodeValue(Decoder& decoder);

namespace coding_detail {
template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
inline constexpr bool isText = std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view> ||
                               std::is_same_v<T, const char*> || std::is_same_v<T, char*>;
template <class T>
inline constexpr bool isInteger = std::is_integral_v<T> && !std::is_same_v<T, bool>;
}  // namespace coding_detail

// ---- encoding ----

class SingleValueEncodingContainer {
public:
    virtual ~SingleValueEncodingContainer() = default;
    virtual CodingPath codingPath() const = 0;
    virtual void encodeNil() = 0;
    virtual void encodeBool(bool v) = 0;
    virtual void encodeString(const std::string& v) = 0;
    virtual void encodeDouble(double v) = 0;
    virtual void encodeFloat(float v) { encodeDouble(v); }
    virtual void encodeInt(std::int64_t v) = 0;  // every signed integer kind
    virtual void encodeUInt(std::uint64_t v) = 0;
    // Dates and data take the encoder's strategy; by default they encode themselves:
    // a date as its seconds since 2001 (a double), data as a list of its bytes.
    virtual void encodeDate(Date v) { encodeDouble(v.timeIntervalSinceReferenceDate); }
    virtual void encodeData(const Data& v);
    // Any other value encodes itself into an encoder at this container's path.
    virtual void encodeEncodable(const std::function<void(Encoder&)>& encodeSelf) = 0;

    template <class T>
    void encode(const T& v) {
        using U = std::decay_t<T>;
        if constexpr (std::is_same_v<U, bool>) encodeBool(v);
        else if constexpr (coding_detail::isText<U>) encodeString(std::string(v));
        else if constexpr (std::is_same_v<U, double>) encodeDouble(v);
        else if constexpr (std::is_same_v<U, float>) encodeFloat(v);
        else if constexpr (coding_detail::isInteger<U> && std::is_signed_v<U>) encodeInt(v);
        else if constexpr (coding_detail::isInteger<U>) encodeUInt(v);
        else if constexpr (std::is_same_v<U, Date>) encodeDate(v);
        else if constexpr (std::is_same_v<U, Data>) encodeData(v);
        else if constexpr (coding_detail::IsOptional<U>::value) {
            if (v) encode(*v);
            else encodeNil();
        } else encodeEncodable([&v](Encoder& e) { encodeValue(e, v); });
    }
};
using SingleValueEncodingContainerPtr = std::shared_ptr<SingleValueEncodingContainer>;

class KeyedEncodingContainer {
public:
    virtual ~KeyedEncodingContainer() = default;
    virtual CodingPath codingPath() const = 0;
    // A container for the one value at `key` (path: this path + key).
    virtual SingleValueEncodingContainerPtr valueContainer(const CodingKey& key) = 0;
    virtual void encodeNil(const CodingKey& key) { valueContainer(key)->encodeNil(); }
    virtual std::shared_ptr<KeyedEncodingContainer> nestedContainer(const CodingKey& key) = 0;
    virtual std::shared_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer(const CodingKey& key) = 0;
    virtual std::shared_ptr<Encoder> superEncoder() = 0;
    virtual std::shared_ptr<Encoder> superEncoder(const CodingKey& key) = 0;

    template <class T>
    void encode(const T& v, const CodingKey& key) {
        valueContainer(key)->encode(v);
    }
    // Writes nothing at all for an absent value.
    template <class T>
    void encodeIfPresent(const std::optional<T>& v, const CodingKey& key) {
        if (v) encode(*v, key);
    }
};
using KeyedEncodingContainerPtr = std::shared_ptr<KeyedEncodingContainer>;

class UnkeyedEncodingContainer {
public:
    virtual ~UnkeyedEncodingContainer() = default;
    virtual CodingPath codingPath() const = 0;
    virtual std::size_t count() const = 0;
    // A container for the next element (its index taken, `count` advanced).
    virtual SingleValueEncodingContainerPtr nextValueContainer() = 0;
    virtual void encodeNil() { nextValueContainer()->encodeNil(); }
    virtual KeyedEncodingContainerPtr nestedContainer() = 0;
    virtual std::shared_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer() = 0;
    virtual std::shared_ptr<Encoder> superEncoder() = 0;

    template <class T>
    void encode(const T& v) {
        nextValueContainer()->encode(v);
    }
    template <class Range>
    void encodeContentsOf(const Range& r) {
        for (const auto& e : r) encode(e);
    }
};
using UnkeyedEncodingContainerPtr = std::shared_ptr<UnkeyedEncodingContainer>;

class Encoder {
public:
    virtual ~Encoder() = default;
    virtual CodingPath codingPath() const = 0;
    virtual Value::Dictionary userInfo() const { return {}; }
    virtual KeyedEncodingContainerPtr container() = 0;
    virtual UnkeyedEncodingContainerPtr unkeyedContainer() = 0;
    virtual SingleValueEncodingContainerPtr singleValueContainer() = 0;
};

// ---- decoding ----

class SingleValueDecodingContainer {
public:
    virtual ~SingleValueDecodingContainer() = default;
    virtual CodingPath codingPath() const = 0;
    virtual bool decodeNil() = 0;
    virtual bool decodeBool() = 0;
    virtual std::string decodeString() = 0;
    virtual double decodeDouble() = 0;
    virtual float decodeFloat() { return static_cast<float>(decodeDouble()); }
    // Integers are read at full width; decode<T> checks that the number fits T.
    virtual std::int64_t decodeInt() = 0;
    virtual std::uint64_t decodeUInt() = 0;
    virtual Date decodeDate() { return Date{decodeDouble()}; }
    virtual Data decodeData();
    // The value here as it stands (formats that have no such tree answer typeMismatch).
    virtual Value decodeAny();
    // A decoder at this container's path, for a value that decodes itself.
    virtual std::shared_ptr<Decoder> valueDecoder() = 0;

    template <class T>
    T decode();
};
using SingleValueDecodingContainerPtr = std::shared_ptr<SingleValueDecodingContainer>;

class KeyedDecodingContainer {
public:
    virtual ~KeyedDecodingContainer() = default;
    virtual CodingPath codingPath() const = 0;
    virtual std::vector<CodingKey> allKeys() const = 0;
    virtual bool contains(const CodingKey& key) const = 0;
    // keyNotFound when the key is absent.
    virtual bool decodeNil(const CodingKey& key) = 0;
    virtual SingleValueDecodingContainerPtr valueContainer(const CodingKey& key) = 0;
    virtual std::shared_ptr<KeyedDecodingContainer> nestedContainer(const CodingKey& key) = 0;
    virtual std::shared_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer(const CodingKey& key) = 0;
    virtual std::shared_ptr<Decoder> superDecoder() = 0;
    virtual std::shared_ptr<Decoder> superDecoder(const CodingKey& key) = 0;

    template <class T>
    T decode(const CodingKey& key) {
        return valueContainer(key)->template decode<T>();
    }
    // None for an absent key or a null value.
    template <class T>
    std::optional<T> decodeIfPresent(const CodingKey& key) {
        if (!contains(key) || decodeNil(key)) return std::nullopt;
        return decode<T>(key);
    }
};
using KeyedDecodingContainerPtr = std::shared_ptr<KeyedDecodingContainer>;

class UnkeyedDecodingContainer {
public:
    virtual ~UnkeyedDecodingContainer() = default;
    virtual CodingPath codingPath() const = 0;
    virtual std::optional<std::size_t> count() const = 0;
    virtual bool isAtEnd() const = 0;
    virtual std::size_t currentIndex() const = 0;
    // True (and advances) when the next element is null.
    virtual bool decodeNil() = 0;
    // The next element's container; valueNotFound at the end. Advances.
    virtual SingleValueDecodingContainerPtr nextValueContainer() = 0;
    virtual KeyedDecodingContainerPtr nestedContainer() = 0;
    virtual std::shared_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer() = 0;
    virtual std::shared_ptr<Decoder> superDecoder() = 0;

    template <class T>
    T decode() {
        return nextValueContainer()->template decode<T>();
    }
    template <class T>
    std::optional<T> decodeIfPresent() {
        if (isAtEnd() || decodeNil()) return std::nullopt;
        return decode<T>();
    }
};
using UnkeyedDecodingContainerPtr = std::shared_ptr<UnkeyedDecodingContainer>;

class Decoder {
public:
    virtual ~Decoder() = default;
    virtual CodingPath codingPath() const = 0;
    virtual Value::Dictionary userInfo() const { return {}; }
    virtual KeyedDecodingContainerPtr container() = 0;
    virtual UnkeyedDecodingContainerPtr unkeyedContainer() = 0;
    virtual SingleValueDecodingContainerPtr singleValueContainer() = 0;
};

// ---- how values encode and decode themselves ----

namespace coding_detail {
template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};
template <class T>
struct IsSet : std::false_type {};
template <class T>
struct IsSet<std::set<T>> : std::true_type {};
template <class T>
struct IsMap : std::false_type {};
template <class K, class V>
struct IsMap<std::map<K, V>> : std::true_type {};
template <class T>
inline constexpr bool isScalar =
    std::is_arithmetic_v<T> || isText<T> || std::is_same_v<T, Date> || std::is_same_v<T, Data> || IsOptional<T>::value;

void encodeAny(Encoder& encoder, const Value& value);
Value decodeAny(Decoder& decoder);
[[noreturn]] void throwNumberDoesNotFit(const CodingPath& path, const std::string& number, const std::string& type);

template <class T, class Wide>
T narrow(Wide wide, const SingleValueDecodingContainer& c) {
    if constexpr (std::is_signed_v<T>) {
        if (wide < static_cast<Wide>(std::numeric_limits<T>::min()) ||
            wide > static_cast<Wide>(std::numeric_limits<T>::max()))
            throwNumberDoesNotFit(c.codingPath(), std::to_string(wide), TypeName<T>::name());
    } else if (wide > static_cast<Wide>(std::numeric_limits<T>::max())) {
        throwNumberDoesNotFit(c.codingPath(), std::to_string(wide), TypeName<T>::name());
    }
    return static_cast<T>(wide);
}
}  // namespace coding_detail

template <class T>
void encodeValue(Encoder& encoder, const T& value) {
    using U = std::decay_t<T>;
    if constexpr (requires { value.encode(encoder); }) value.encode(encoder);
    else if constexpr (requires { encode(encoder, value); }) encode(encoder, value);
    else if constexpr (std::is_same_v<U, Value>) coding_detail::encodeAny(encoder, value);
    else if constexpr (coding_detail::isScalar<U>) encoder.singleValueContainer()->encode(value);
    else if constexpr (coding_detail::IsVector<U>::value || coding_detail::IsSet<U>::value) {
        auto c = encoder.unkeyedContainer();
        for (const auto& e : value) c->encode(e);
    } else if constexpr (coding_detail::IsMap<U>::value) {
        auto c = encoder.container();
        for (const auto& [k, v] : value) {
            if constexpr (coding_detail::isInteger<std::decay_t<decltype(k)>>)
                c->encode(v, CodingKey(std::to_string(k), static_cast<std::int64_t>(k)));
            else c->encode(v, CodingKey(std::string(k)));
        }
    } else {
        static_assert(sizeof(U) == 0, "the type has no encode(Encoder&)");
    }
}

template <class T>
T decodeValue(Decoder& decoder) {
    using U = std::decay_t<T>;
    if constexpr (requires {
                      { U::decode(decoder) } -> std::convertible_to<U>;
                  })
        return U::decode(decoder);
    else if constexpr (requires { decode(decoder, std::type_identity<U>{}); })
        return decode(decoder, std::type_identity<U>{});
    else if constexpr (std::is_same_v<U, Value>) return coding_detail::decodeAny(decoder);
    else if constexpr (coding_detail::isScalar<U> && !std::is_same_v<U, const char*>)
        return decoder.singleValueContainer()->template decode<U>();
    else if constexpr (coding_detail::IsVector<U>::value || coding_detail::IsSet<U>::value) {
        auto c = decoder.unkeyedContainer();
        U out;
        while (!c->isAtEnd()) {
            if constexpr (coding_detail::IsVector<U>::value)
                out.push_back(c->template decode<typename U::value_type>());
            else out.insert(c->template decode<typename U::value_type>());
        }
        return out;
    } else if constexpr (coding_detail::IsMap<U>::value) {
        using K = typename U::key_type;
        auto c = decoder.container();
        U out;
        for (const auto& key : c->allKeys()) {
            if constexpr (coding_detail::isInteger<K>) {
                // Integer keys arrive as text in formats whose keys are text.
                std::int64_t k = 0;
                if (key.intValue) k = *key.intValue;
                else {
                    try {
                        std::size_t used = 0;
                        k = std::stoll(key.stringValue, &used);
                        if (used != key.stringValue.size()) throw std::invalid_argument("key");
                    } catch (const std::exception&) {
                        auto path = c->codingPath();
                        path.push_back(key);
                        throwCodingError(DecodingError::typeMismatch(
                            TypeName<K>::name(), {path, "Expected Int key but found a text key instead.", nullptr}));
                    }
                }
                out.emplace(static_cast<K>(k), c->template decode<typename U::mapped_type>(key));
            } else {
                out.emplace(key.stringValue, c->template decode<typename U::mapped_type>(key));
            }
        }
        return out;
    } else {
        static_assert(sizeof(U) == 0, "the type has no static decode(Decoder&)");
    }
}

template <class T>
T SingleValueDecodingContainer::decode() {
    using U = std::decay_t<T>;
    if constexpr (std::is_same_v<U, bool>) return decodeBool();
    else if constexpr (std::is_same_v<U, std::string>) return decodeString();
    else if constexpr (std::is_same_v<U, double>) return decodeDouble();
    else if constexpr (std::is_same_v<U, float>) return decodeFloat();
    else if constexpr (coding_detail::isInteger<U> && std::is_signed_v<U>)
        return coding_detail::narrow<U>(decodeInt(), *this);
    else if constexpr (coding_detail::isInteger<U>) return coding_detail::narrow<U>(decodeUInt(), *this);
    else if constexpr (std::is_same_v<U, Date>) return decodeDate();
    else if constexpr (std::is_same_v<U, Data>) return decodeData();
    else if constexpr (std::is_same_v<U, Value>) return decodeAny();
    else if constexpr (coding_detail::IsOptional<U>::value) {
        if (decodeNil()) return std::nullopt;
        return decode<typename U::value_type>();
    } else {
        auto d = valueDecoder();
        return decodeValue<U>(*d);
    }
}

}  // namespace platform
