// Coding keys, the coding errors and the default self-encodings of dates, data and Values.
#include "platform/foundation/Coding.h"

#include "platform/foundation/TextForms.h"

namespace platform {

std::string CodingKey::description() const {
    if (intValue) return "Index " + std::to_string(*intValue);
    return "CodingKeys(stringValue: " + quotedText(stringValue) + ", intValue: nil)";
}

std::string codingPathText(const CodingPath& path) {
    std::string out;
    for (const auto& key : path) {
        if (!out.empty()) out += '.';
        out += key.intValue ? "Index " + std::to_string(*key.intValue) : key.stringValue;
    }
    return out;
}

namespace {
std::string contextText(const CodingErrorContext& c) {
    std::string path = "[";
    for (std::size_t i = 0; i < c.codingPath.size(); ++i) {
        if (i) path += ", ";
        path += c.codingPath[i].description();
    }
    path += "]";
    return "Context(codingPath: " + path + ", debugDescription: " + quotedText(c.debugDescription) +
           ", underlyingError: " + (c.underlyingError ? c.underlyingError->debugDescription() : "nil") + ")";
}

Value::Dictionary contextUserInfo(const CodingErrorContext& c) {
    return {{NSDebugDescriptionErrorKey, Value(c.debugDescription)},
            {"NSCodingPath", Value(codingPathText(c.codingPath))}};
}
}  // namespace

Value::Dictionary EncodingError::userInfo() const { return contextUserInfo(context_); }

std::string EncodingError::localizedDescription() const {
    return "The data couldn\u2019t be written because it isn\u2019t in the correct format.";
}

std::string EncodingError::debugDescription() const {
    return "invalidValue(" + valueText_ + ", " + contextText(context_) + ")";
}

ErrorPtr DecodingError::typeMismatch(std::string type, CodingErrorContext context) {
    return std::make_shared<DecodingError>(Case::typeMismatch, std::move(type), std::nullopt, std::move(context));
}
ErrorPtr DecodingError::valueNotFound(std::string type, CodingErrorContext context) {
    return std::make_shared<DecodingError>(Case::valueNotFound, std::move(type), std::nullopt, std::move(context));
}
ErrorPtr DecodingError::keyNotFound(CodingKey key, CodingErrorContext context) {
    return std::make_shared<DecodingError>(Case::keyNotFound, "", std::move(key), std::move(context));
}
ErrorPtr DecodingError::dataCorrupted(CodingErrorContext context) {
    return std::make_shared<DecodingError>(Case::dataCorrupted, "", std::nullopt, std::move(context));
}

std::int64_t DecodingError::code() const {
    return case_ == Case::valueNotFound || case_ == Case::keyNotFound ? 4865 : 4864;
}

Value::Dictionary DecodingError::userInfo() const { return contextUserInfo(context_); }

std::string DecodingError::localizedDescription() const {
    if (code() == 4865) return "The data couldn\u2019t be read because it is missing.";
    return "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
}

std::string DecodingError::debugDescription() const {
    switch (case_) {
        case Case::typeMismatch: return "typeMismatch(" + type_ + ", " + contextText(context_) + ")";
        case Case::valueNotFound: return "valueNotFound(" + type_ + ", " + contextText(context_) + ")";
        case Case::keyNotFound: return "keyNotFound(" + key_->description() + ", " + contextText(context_) + ")";
        case Case::dataCorrupted: return "dataCorrupted(" + contextText(context_) + ")";
    }
    return "";
}

void throwCodingError(ErrorPtr error) { throw ErrorException(std::move(error)); }

void SingleValueEncodingContainer::encodeData(const Data& v) {
    encodeEncodable([&v](Encoder& e) {
        auto c = e.unkeyedContainer();
        for (std::uint8_t b : v.bytes()) c->encode(b);
    });
}

Data SingleValueDecodingContainer::decodeData() {
    auto d = valueDecoder();
    auto c = d->unkeyedContainer();
    std::vector<std::uint8_t> bytes;
    while (!c->isAtEnd()) bytes.push_back(c->decode<std::uint8_t>());
    return Data(std::move(bytes));
}

Value SingleValueDecodingContainer::decodeAny() {
    throwCodingError(
        DecodingError::typeMismatch("Any", {codingPath(), "This format cannot decode a value of any type.", nullptr}));
}

namespace coding_detail {

void encodeAny(Encoder& encoder, const Value& value) {
    switch (value.kind()) {
        case Value::Kind::null: encoder.singleValueContainer()->encodeNil(); break;
        case Value::Kind::boolean: encoder.singleValueContainer()->encodeBool(*value.asBool()); break;
        case Value::Kind::int64: encoder.singleValueContainer()->encodeInt(*value.asInt64()); break;
        case Value::Kind::uint64: encoder.singleValueContainer()->encodeUInt(*value.asUInt64()); break;
        case Value::Kind::real: encoder.singleValueContainer()->encodeDouble(*value.asDouble()); break;
        case Value::Kind::string: encoder.singleValueContainer()->encodeString(*value.asString()); break;
        case Value::Kind::data: encoder.singleValueContainer()->encodeData(*value.asData()); break;
        case Value::Kind::date: encoder.singleValueContainer()->encodeDate(*value.asDate()); break;
        case Value::Kind::array:
        case Value::Kind::set: {
            auto c = encoder.unkeyedContainer();
            for (const auto& e : value.isArray() ? *value.asArray() : value.asSet()->members) c->encode(e);
            break;
        }
        case Value::Kind::dictionary: {
            auto c = encoder.container();
            for (const auto& [k, v] : *value.asDictionary()) c->encode(v, CodingKey(k));
            break;
        }
        case Value::Kind::object:
            throwCodingError(EncodingError::invalidValue(
                "<object>", {encoder.codingPath(), "An object value cannot be encoded.", nullptr}));
    }
}

Value decodeAny(Decoder& decoder) { return decoder.singleValueContainer()->decodeAny(); }

void throwNumberDoesNotFit(const CodingPath& path, const std::string& number, const std::string& type) {
    throwCodingError(DecodingError::dataCorrupted(
        {path, "Parsed JSON number <" + number + "> does not fit in " + type + ".", nullptr}));
}

}  // namespace coding_detail
}  // namespace platform
