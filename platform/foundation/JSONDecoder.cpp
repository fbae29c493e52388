// The JSON decoder: containers read from the Value tree that the JSON reader made.
#include "platform/foundation/JSONDecoder.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "platform/base/NoDestructor.h"
#include "platform/foundation/ISO8601DateFormatter.h"
#include "platform/foundation/JSONEncoder.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/TextForms.h"

namespace platform {

namespace {
using Root = std::shared_ptr<const Value>;

CodingPath appended(CodingPath path, CodingKey key) {
    path.push_back(std::move(key));
    return path;
}

std::string foundText(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::null: return "null";
        case Value::Kind::boolean: return "bool";
        case Value::Kind::string: return "a string";
        case Value::Kind::array: return "an array";
        case Value::Kind::dictionary: return "a dictionary";
        default: return v.isNumber() ? "a number" : v.typeName();
    }
}

[[noreturn]] void mismatch(const CodingPath& path, const std::string& type, const Value& found) {
    if (found.isNull())
        throwCodingError(
            DecodingError::valueNotFound(type, {path, "Expected " + type + " value but found null instead.", nullptr}));
    throwCodingError(DecodingError::typeMismatch(
        type, {path, "Expected to decode " + type + " but found " + foundText(found) + " instead.", nullptr}));
}

struct Context {
    const JSONDecoder* options;
    Root root;
};

class JSONDecoderImpl;

class ValueContainer : public SingleValueDecodingContainer {
public:
    ValueContainer(Context ctx, const Value* value, CodingPath path)
        : ctx_(std::move(ctx)), value_(value), path_(std::move(path)) {}
    CodingPath codingPath() const override { return path_; }
    bool decodeNil() override { return value_->isNull(); }
    bool decodeBool() override {
        if (auto b = value_->asBool()) return *b;
        mismatch(path_, "Bool", *value_);
    }
    std::string decodeString() override {
        if (auto s = value_->asString()) return *s;
        mismatch(path_, "String", *value_);
    }
    double decodeDouble() override {
        if (auto d = value_->asDouble()) return *d;
        mismatch(path_, "Double", *value_);
    }
    float decodeFloat() override {
        auto d = value_->asDouble();
        if (!d) mismatch(path_, "Float", *value_);
        if (std::fabs(*d) > FLT_MAX) coding_detail::throwNumberDoesNotFit(path_, doubleText(*d), "Float");
        return static_cast<float>(*d);
    }
    std::int64_t decodeInt() override {
        if (!value_->isNumber()) mismatch(path_, "Int", *value_);
        if (auto i = value_->asInt64()) return *i;
        coding_detail::throwNumberDoesNotFit(path_, numberText(), "Int");
    }
    std::uint64_t decodeUInt() override {
        if (!value_->isNumber()) mismatch(path_, "UInt", *value_);
        if (auto u = value_->asUInt64()) return *u;
        coding_detail::throwNumberDoesNotFit(path_, numberText(), "UInt");
    }
    Date decodeDate() override;
    Data decodeData() override {
        if (ctx_.options->dataDecodingStrategy == JSONDecoder::DataDecodingStrategy::deferredToData)
            return SingleValueDecodingContainer::decodeData();
        auto data = Data::fromBase64(decodeString());
        if (!data)
            throwCodingError(DecodingError::dataCorrupted({path_, "Encountered Data is not valid Base64.", nullptr}));
        return *data;
    }
    Value decodeAny() override { return *value_; }
    std::shared_ptr<Decoder> valueDecoder() override;

private:
    std::string numberText() const {
        if (auto u = value_->asUInt64()) return std::to_string(*u);
        if (auto i = value_->asInt64()) return std::to_string(*i);
        return doubleText(*value_->asDouble());
    }

    Context ctx_;
    const Value* value_;
    CodingPath path_;
};

class KeyedContainer : public KeyedDecodingContainer {
public:
    KeyedContainer(Context ctx, const Value::Dictionary* dict, CodingPath path)
        : ctx_(std::move(ctx)), path_(std::move(path)) {
        bool convert = ctx_.options->keyDecodingStrategy == JSONDecoder::KeyDecodingStrategy::convertFromSnakeCase;
        for (const auto& [k, v] : *dict) members_.emplace(convert ? convertFromSnakeCase(k) : k, &v);
    }
    CodingPath codingPath() const override { return path_; }
    std::vector<CodingKey> allKeys() const override {
        std::vector<CodingKey> keys;
        for (const auto& [k, v] : members_) keys.emplace_back(k);
        return keys;
    }
    bool contains(const CodingKey& key) const override { return members_.count(key.stringValue) > 0; }
    bool decodeNil(const CodingKey& key) override { return member(key)->isNull(); }
    SingleValueDecodingContainerPtr valueContainer(const CodingKey& key) override {
        return std::make_shared<ValueContainer>(ctx_, member(key), appended(path_, key));
    }
    KeyedDecodingContainerPtr nestedContainer(const CodingKey& key) override;
    UnkeyedDecodingContainerPtr nestedUnkeyedContainer(const CodingKey& key) override;
    std::shared_ptr<Decoder> superDecoder() override;
    std::shared_ptr<Decoder> superDecoder(const CodingKey& key) override;

private:
    const Value* member(const CodingKey& key) const {
        auto it = members_.find(key.stringValue);
        if (it == members_.end())
            throwCodingError(DecodingError::keyNotFound(
                key,
                {path_, "No value associated with key " + key.description() + " (" + quotedText(key.stringValue) + ").",
                 nullptr}));
        return it->second;
    }

    Context ctx_;
    std::map<std::string, const Value*> members_;
    CodingPath path_;
};

class UnkeyedContainer : public UnkeyedDecodingContainer {
public:
    UnkeyedContainer(Context ctx, const Value::Array* array, CodingPath path)
        : ctx_(std::move(ctx)), array_(array), path_(std::move(path)) {}
    CodingPath codingPath() const override { return path_; }
    std::optional<std::size_t> count() const override { return array_->size(); }
    bool isAtEnd() const override { return index_ >= array_->size(); }
    std::size_t currentIndex() const override { return index_; }
    bool decodeNil() override {
        if (!isAtEnd() && (*array_)[index_].isNull()) {
            ++index_;
            return true;
        }
        return false;
    }
    SingleValueDecodingContainerPtr nextValueContainer() override {
        auto key = CodingKey::index(static_cast<std::int64_t>(index_));
        const Value* v = next("Any");
        return std::make_shared<ValueContainer>(ctx_, v, appended(path_, key));
    }
    KeyedDecodingContainerPtr nestedContainer() override;
    UnkeyedDecodingContainerPtr nestedUnkeyedContainer() override;
    std::shared_ptr<Decoder> superDecoder() override;

private:
    const Value* next(const std::string& type) {
        if (isAtEnd())
            throwCodingError(DecodingError::valueNotFound(
                type, {appended(path_, CodingKey::index(static_cast<std::int64_t>(index_))),
                       "Unkeyed container is at end.", nullptr}));
        return &(*array_)[index_++];
    }

    Context ctx_;
    const Value::Array* array_;
    CodingPath path_;
    std::size_t index_ = 0;
};

KeyedDecodingContainerPtr keyedAt(const Context& ctx, const Value* v, const CodingPath& path) {
    if (!v->isDictionary()) {
        std::string what = "Dictionary<String, Any>";
        if (v->isNull())
            throwCodingError(DecodingError::valueNotFound(
                what, {path, "Cannot get keyed decoding container -- found null value instead", nullptr}));
        mismatch(path, what, *v);
    }
    return std::make_shared<KeyedContainer>(ctx, v->asDictionary(), path);
}

UnkeyedDecodingContainerPtr unkeyedAt(const Context& ctx, const Value* v, const CodingPath& path) {
    if (!v->isArray()) {
        if (v->isNull())
            throwCodingError(DecodingError::valueNotFound(
                "Array<Any>", {path, "Cannot get unkeyed decoding container -- found null value instead", nullptr}));
        mismatch(path, "Array<Any>", *v);
    }
    return std::make_shared<UnkeyedContainer>(ctx, v->asArray(), path);
}

class JSONDecoderImpl : public Decoder {
public:
    JSONDecoderImpl(Context ctx, const Value* value, CodingPath path)
        : ctx_(std::move(ctx)), value_(value), path_(std::move(path)) {}
    CodingPath codingPath() const override { return path_; }
    Value::Dictionary userInfo() const override { return ctx_.options->userInfo; }
    KeyedDecodingContainerPtr container() override { return keyedAt(ctx_, value_, path_); }
    UnkeyedDecodingContainerPtr unkeyedContainer() override { return unkeyedAt(ctx_, value_, path_); }
    SingleValueDecodingContainerPtr singleValueContainer() override {
        return std::make_shared<ValueContainer>(ctx_, value_, path_);
    }

private:
    Context ctx_;
    const Value* value_;
    CodingPath path_;
};

std::shared_ptr<Decoder> ValueContainer::valueDecoder() {
    return std::make_shared<JSONDecoderImpl>(ctx_, value_, path_);
}

Date ValueContainer::decodeDate() {
    using Kind = JSONDecoder::DateDecodingStrategy::Kind;
    const auto& s = ctx_.options->dateDecodingStrategy;
    switch (s.kind) {
        case Kind::deferredToDate: return Date{decodeDouble()};
        case Kind::secondsSince1970: return Date::fromTimeIntervalSince1970(decodeDouble());
        case Kind::millisecondsSince1970: return Date::fromTimeIntervalSince1970(decodeDouble() / 1000.0);
        case Kind::iso8601: {
            ISO8601DateFormatter f;
            if (auto d = f.date(decodeString())) return *d;
            throwCodingError(
                DecodingError::dataCorrupted({path_, "Expected date string to be ISO8601-formatted.", nullptr}));
        }
        case Kind::formatted: {
            std::string text = decodeString();
            if (s.formatter)
                if (auto d = s.formatter->date(text)) return *d;
            throwCodingError(DecodingError::dataCorrupted(
                {path_, "Date string does not match format expected by formatter.", nullptr}));
        }
        case Kind::custom: {
            auto d = valueDecoder();
            return s.custom(*d);
        }
    }
    return Date{};
}

KeyedDecodingContainerPtr KeyedContainer::nestedContainer(const CodingKey& key) {
    return keyedAt(ctx_, member(key), appended(path_, key));
}
UnkeyedDecodingContainerPtr KeyedContainer::nestedUnkeyedContainer(const CodingKey& key) {
    return unkeyedAt(ctx_, member(key), appended(path_, key));
}
std::shared_ptr<Decoder> KeyedContainer::superDecoder() { return superDecoder(CodingKey("super")); }
std::shared_ptr<Decoder> KeyedContainer::superDecoder(const CodingKey& key) {
    static const NoDestructor<Value> null;
    auto it = members_.find(key.stringValue);
    return std::make_shared<JSONDecoderImpl>(ctx_, it == members_.end() ? &*null : it->second, appended(path_, key));
}

KeyedDecodingContainerPtr UnkeyedContainer::nestedContainer() {
    auto key = CodingKey::index(static_cast<std::int64_t>(index_));
    return keyedAt(ctx_, next("Dictionary<String, Any>"), appended(path_, key));
}
UnkeyedDecodingContainerPtr UnkeyedContainer::nestedUnkeyedContainer() {
    auto key = CodingKey::index(static_cast<std::int64_t>(index_));
    return unkeyedAt(ctx_, next("Array<Any>"), appended(path_, key));
}
std::shared_ptr<Decoder> UnkeyedContainer::superDecoder() {
    auto key = CodingKey::index(static_cast<std::int64_t>(index_));
    return std::make_shared<JSONDecoderImpl>(ctx_, next("Decoder"), appended(path_, key));
}
}  // namespace

Value JSONDecoder::parse(const Data& json) const {
    auto parsed = JSONSerialization::jsonObject(json, JSONReadingOptions::fragmentsAllowed);
    if (parsed.isFailure())
        throwCodingError(DecodingError::dataCorrupted({{}, "The given data was not valid JSON.", parsed.error()}));
    return parsed.value();
}

std::shared_ptr<Decoder> JSONDecoder::makeDecoder(const Value& tree) const {
    auto root = std::make_shared<const Value>(tree);
    const Value* top = root.get();
    return std::make_shared<JSONDecoderImpl>(Context{this, std::move(root)}, top, CodingPath{});
}

}  // namespace platform
