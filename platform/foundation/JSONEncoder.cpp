// The JSON encoder: containers write into a tree of nodes that becomes a Value,
// then JSON text.
#include "platform/foundation/JSONEncoder.h"

#include <cmath>
#include <map>

#include <unicode/uchar.h>

#include "platform/foundation/ISO8601DateFormatter.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/TextForms.h"
#include "platform/foundation/UTF16.h"

namespace platform {

namespace {
bool isUpper(char32_t c) { return c < 128 ? (c >= 'A' && c <= 'Z') : u_isupper(static_cast<UChar32>(c)) != 0; }
bool isLower(char32_t c) { return c < 128 ? (c >= 'a' && c <= 'z') : u_islower(static_cast<UChar32>(c)) != 0; }
std::string lowered(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        std::size_t len = decodeUTF8CodePoint(s, i, cp);
        if (len == 0) {
            out += s[i++];
            continue;
        }
        appendUTF8(out, static_cast<char32_t>(u_tolower(static_cast<UChar32>(cp))));
        i += len;
    }
    return out;
}
std::string uppercasedFirst(std::string_view s) {
    char32_t cp = 0;
    std::size_t len = decodeUTF8CodePoint(s, 0, cp);
    if (len == 0) return std::string(s);
    std::string out;
    appendUTF8(out, static_cast<char32_t>(u_toupper(static_cast<UChar32>(cp))));
    out.append(s.substr(len));
    return out;
}
}  // namespace

std::string convertToSnakeCase(std::string_view key) {
    if (key.empty()) return std::string(key);
    std::size_t first = key.find_first_not_of('_');
    if (first == std::string_view::npos) return std::string(key);
    std::size_t last = key.find_last_not_of('_');
    std::string_view core = key.substr(first, last - first + 1);
    // Code points of the core, to look at case around each.
    std::vector<std::pair<std::size_t, char32_t>> cps;
    for (std::size_t i = 0; i < core.size();) {
        char32_t cp = 0;
        std::size_t len = decodeUTF8CodePoint(core, i, cp);
        if (len == 0) len = 1, cp = static_cast<unsigned char>(core[i]);
        cps.emplace_back(i, cp);
        i += len;
    }
    // A word starts at an upper-case letter after a lower-case one, and at the last
    // capital of a run that a lower-case letter follows ("URLValue" -> URL, Value).
    std::vector<std::size_t> starts{0};
    for (std::size_t k = 1; k < cps.size(); ++k) {
        if (!isUpper(cps[k].second)) continue;
        bool afterLower = !isUpper(cps[k - 1].second);
        bool endsRun = isUpper(cps[k - 1].second) && k + 1 < cps.size() && isLower(cps[k + 1].second);
        if (afterLower || endsRun) starts.push_back(k);
    }
    std::string out(key.substr(0, first));
    for (std::size_t w = 0; w < starts.size(); ++w) {
        std::size_t from = cps[starts[w]].first;
        std::size_t to = w + 1 < starts.size() ? cps[starts[w + 1]].first : core.size();
        if (w) out += '_';
        out += lowered(core.substr(from, to - from));
    }
    out.append(key.substr(last + 1));
    return out;
}

std::string convertFromSnakeCase(std::string_view key) {
    if (key.empty()) return std::string(key);
    std::size_t first = key.find_first_not_of('_');
    if (first == std::string_view::npos) return std::string(key);
    std::size_t last = key.find_last_not_of('_');
    std::string_view core = key.substr(first, last - first + 1);
    std::string out(key.substr(0, first));
    bool firstWord = true;
    std::size_t i = 0;
    while (i <= core.size()) {
        std::size_t next = core.find('_', i);
        if (next == std::string_view::npos) next = core.size();
        std::string_view word = core.substr(i, next - i);
        if (!word.empty()) {
            out += firstWord ? std::string(word) : uppercasedFirst(lowered(word));
            firstWord = false;
        }
        i = next + 1;
    }
    out.append(key.substr(last + 1));
    return out;
}

namespace {
struct Node {
    enum class Kind { unset, scalar, array, object } kind = Kind::unset;
    Value scalar;
    std::vector<std::shared_ptr<Node>> elements;
    std::map<std::string, std::shared_ptr<Node>> members;
};
using NodePtr = std::shared_ptr<Node>;

Value toValue(const Node& n) {
    switch (n.kind) {
        case Node::Kind::scalar: return n.scalar;
        case Node::Kind::array: {
            Value::Array a;
            for (const auto& e : n.elements) a.push_back(toValue(*e));
            return Value(std::move(a));
        }
        case Node::Kind::object:
        case Node::Kind::unset: {
            Value::Dictionary d;
            for (const auto& [k, v] : n.members) d[k] = toValue(*v);
            return Value(std::move(d));
        }
    }
    return Value();
}

CodingPath appended(CodingPath path, CodingKey key) {
    path.push_back(std::move(key));
    return path;
}

class JSONEncoderImpl;

class ValueContainer : public SingleValueEncodingContainer {
public:
    ValueContainer(const JSONEncoder& options, NodePtr node, CodingPath path)
        : options_(options), node_(std::move(node)), path_(std::move(path)) {}
    CodingPath codingPath() const override { return path_; }
    void encodeNil() override { set(Value(), "nil"); }
    void encodeBool(bool v) override { set(Value(v), v ? "true" : "false"); }
    void encodeString(const std::string& v) override { set(Value(v), quotedText(v)); }
    void encodeDouble(double v) override {
        if (!std::isfinite(v)) {
            throwCodingError(EncodingError::invalidValue(
                doubleText(v),
                {path_,
                 "Unable to encode Double." + std::string(std::isnan(v) ? "nan" : "infinity") +
                     " directly in JSON. Use JSONEncoder.NonConformingFloatEncodingStrategy.convertToString "
                     "to specify how the value should be encoded.",
                 nullptr}));
        }
        set(Value(v), doubleText(v));
    }
    void encodeFloat(float v) override {
        if (!std::isfinite(v)) encodeDouble(v);
        // Through the float's own shortest text, so 0.1f is written 0.1.
        else set(Value(std::stod(floatText(v))), floatText(v));
    }
    void encodeInt(std::int64_t v) override { set(Value(static_cast<long long>(v)), std::to_string(v)); }
    void encodeUInt(std::uint64_t v) override { set(Value(static_cast<unsigned long long>(v)), std::to_string(v)); }
    void encodeDate(Date d) override;
    void encodeData(const Data& d) override {
        if (options_.dataEncodingStrategy == JSONEncoder::DataEncodingStrategy::base64) {
            encodeString(d.base64EncodedString());
            return;
        }
        SingleValueEncodingContainer::encodeData(d);
    }
    void encodeEncodable(const std::function<void(Encoder&)>& encodeSelf) override;

private:
    void checkUnset(const std::string& valueText) {
        if (node_->kind != Node::Kind::unset)
            throwCodingError(EncodingError::invalidValue(
                valueText,
                {path_, "Attempt to encode value through single value container when previously value already encoded.",
                 nullptr}));
    }
    void set(Value v, const std::string& valueText) {
        checkUnset(valueText);
        node_->kind = Node::Kind::scalar;
        node_->scalar = std::move(v);
    }

    const JSONEncoder& options_;
    NodePtr node_;
    CodingPath path_;
};

class KeyedContainer : public KeyedEncodingContainer {
public:
    KeyedContainer(const JSONEncoder& options, NodePtr node, CodingPath path)
        : options_(options), node_(std::move(node)), path_(std::move(path)) {}
    CodingPath codingPath() const override { return path_; }
    SingleValueEncodingContainerPtr valueContainer(const CodingKey& key) override {
        return std::make_shared<ValueContainer>(options_, child(key), appended(path_, key));
    }
    KeyedEncodingContainerPtr nestedContainer(const CodingKey& key) override {
        auto n = child(key);
        n->kind = Node::Kind::object;
        return std::make_shared<KeyedContainer>(options_, n, appended(path_, key));
    }
    UnkeyedEncodingContainerPtr nestedUnkeyedContainer(const CodingKey& key) override;
    std::shared_ptr<Encoder> superEncoder() override { return superEncoder(CodingKey("super")); }
    std::shared_ptr<Encoder> superEncoder(const CodingKey& key) override;

private:
    NodePtr child(const CodingKey& key) {
        std::string name = options_.keyEncodingStrategy == JSONEncoder::KeyEncodingStrategy::convertToSnakeCase
                               ? convertToSnakeCase(key.stringValue)
                               : key.stringValue;
        auto n = std::make_shared<Node>();
        node_->members[name] = n;
        return n;
    }

    const JSONEncoder& options_;
    NodePtr node_;
    CodingPath path_;
};

class UnkeyedContainer : public UnkeyedEncodingContainer {
public:
    UnkeyedContainer(const JSONEncoder& options, NodePtr node, CodingPath path)
        : options_(options), node_(std::move(node)), path_(std::move(path)) {}
    CodingPath codingPath() const override { return path_; }
    std::size_t count() const override { return node_->elements.size(); }
    SingleValueEncodingContainerPtr nextValueContainer() override {
        auto key = CodingKey::index(static_cast<std::int64_t>(count()));
        return std::make_shared<ValueContainer>(options_, next(), appended(path_, key));
    }
    KeyedEncodingContainerPtr nestedContainer() override {
        auto key = CodingKey::index(static_cast<std::int64_t>(count()));
        auto n = next();
        n->kind = Node::Kind::object;
        return std::make_shared<KeyedContainer>(options_, n, appended(path_, key));
    }
    UnkeyedEncodingContainerPtr nestedUnkeyedContainer() override {
        auto key = CodingKey::index(static_cast<std::int64_t>(count()));
        auto n = next();
        n->kind = Node::Kind::array;
        return std::make_shared<UnkeyedContainer>(options_, n, appended(path_, key));
    }
    std::shared_ptr<Encoder> superEncoder() override;

private:
    NodePtr next() {
        auto n = std::make_shared<Node>();
        node_->elements.push_back(n);
        return n;
    }

    const JSONEncoder& options_;
    NodePtr node_;
    CodingPath path_;
};

class JSONEncoderImpl : public Encoder {
public:
    JSONEncoderImpl(const JSONEncoder& options, NodePtr node, CodingPath path)
        : options_(options), node_(std::move(node)), path_(std::move(path)) {}
    CodingPath codingPath() const override { return path_; }
    Value::Dictionary userInfo() const override { return options_.userInfo; }
    KeyedEncodingContainerPtr container() override {
        if (node_->kind != Node::Kind::object) *node_ = Node{Node::Kind::object, {}, {}, {}};
        return std::make_shared<KeyedContainer>(options_, node_, path_);
    }
    UnkeyedEncodingContainerPtr unkeyedContainer() override {
        if (node_->kind != Node::Kind::array) *node_ = Node{Node::Kind::array, {}, {}, {}};
        return std::make_shared<UnkeyedContainer>(options_, node_, path_);
    }
    SingleValueEncodingContainerPtr singleValueContainer() override {
        return std::make_shared<ValueContainer>(options_, node_, path_);
    }

private:
    const JSONEncoder& options_;
    NodePtr node_;
    CodingPath path_;
};

void ValueContainer::encodeEncodable(const std::function<void(Encoder&)>& encodeSelf) {
    checkUnset("value");
    JSONEncoderImpl nested(options_, node_, path_);
    encodeSelf(nested);
    // A value that wrote nothing stands as an empty object.
    if (node_->kind == Node::Kind::unset) node_->kind = Node::Kind::object;
}

void ValueContainer::encodeDate(Date d) {
    using Kind = JSONEncoder::DateEncodingStrategy::Kind;
    const auto& s = options_.dateEncodingStrategy;
    switch (s.kind) {
        case Kind::deferredToDate: encodeDouble(d.timeIntervalSinceReferenceDate); break;
        case Kind::secondsSince1970: encodeDouble(d.timeIntervalSince1970()); break;
        case Kind::millisecondsSince1970: encodeDouble(d.timeIntervalSince1970() * 1000.0); break;
        case Kind::iso8601:
            encodeString(ISO8601DateFormatter::string(d, TimeZone::gmt(), ISO8601FormatOptions::withInternetDateTime));
            break;
        case Kind::formatted: encodeString(s.formatter ? s.formatter->string(d) : dateText(d)); break;
        case Kind::custom: encodeEncodable([&](Encoder& e) { s.custom(d, e); }); break;
    }
}

UnkeyedEncodingContainerPtr KeyedContainer::nestedUnkeyedContainer(const CodingKey& key) {
    auto n = child(key);
    n->kind = Node::Kind::array;
    return std::make_shared<UnkeyedContainer>(options_, n, appended(path_, key));
}

std::shared_ptr<Encoder> KeyedContainer::superEncoder(const CodingKey& key) {
    return std::make_shared<JSONEncoderImpl>(options_, child(key), appended(path_, key));
}

std::shared_ptr<Encoder> UnkeyedContainer::superEncoder() {
    auto key = CodingKey::index(static_cast<std::int64_t>(count()));
    return std::make_shared<JSONEncoderImpl>(options_, next(), appended(path_, key));
}
}  // namespace

Value JSONEncoder::encodeToTree(const std::function<void(Encoder&)>& encodeSelf) const {
    auto root = std::make_shared<Node>();
    JSONEncoderImpl encoder(*this, root, {});
    encodeSelf(encoder);
    if (root->kind == Node::Kind::unset)
        throwCodingError(
            EncodingError::invalidValue("value", {{}, "Top-level value did not encode any values.", nullptr}));
    return toValue(*root);
}

Data JSONEncoder::encodeTree(const std::function<void(Encoder&)>& encodeSelf) const {
    Value tree = encodeToTree(encodeSelf);
    JSONWritingOptions options = JSONWritingOptions::fragmentsAllowed;
    if (outputFormatting.contains(OutputFormatting::prettyPrinted)) options |= JSONWritingOptions::prettyPrinted;
    if (outputFormatting.contains(OutputFormatting::sortedKeys)) options |= JSONWritingOptions::sortedKeys;
    if (outputFormatting.contains(OutputFormatting::withoutEscapingSlashes))
        options |= JSONWritingOptions::withoutEscapingSlashes;
    auto data = JSONSerialization::data(tree, options);
    if (data.isFailure())
        throwCodingError(EncodingError::invalidValue(
            valueText(tree), {{}, "Unable to encode the given top-level value to JSON.", data.error()}));
    return data.value();
}

}  // namespace platform
