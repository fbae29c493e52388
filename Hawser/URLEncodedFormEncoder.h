// Encodable values as application/x-www-form-urlencoded text: the value is encoded into
// a tree of form components, and the tree is written out as ordered, escaped pairs.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Hawser/URLEncodedFormComponent.h"
#include "platform/base/Data.h"
#include "platform/base/Date.h"
#include "platform/base/Error.h"
#include "platform/foundation/CharacterSet.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/DateFormatter.h"

namespace Hawser {

class URLEncodedFormEncoder {
public:
    // How an array element's key is made from the array's key and the element's index.
    struct ArrayEncoding {
        enum class Kind { brackets, noBrackets, indexInBrackets, custom };
        Kind kind = Kind::brackets;
        std::function<std::string(const std::string& key, int index)> closure;

        static ArrayEncoding brackets() { return {Kind::brackets, nullptr}; }
        static ArrayEncoding noBrackets() { return {Kind::noBrackets, nullptr}; }
        static ArrayEncoding indexInBrackets() { return {Kind::indexInBrackets, nullptr}; }
        static ArrayEncoding custom(std::function<std::string(const std::string&, int)> f) {
            return {Kind::custom, std::move(f)};
        }
        std::string encode(const std::string& key, int atIndex) const;
    };

    enum class BoolEncoding { numeric, literal };

    struct DataEncoding {
        enum class Kind { deferredToData, base64, custom };
        Kind kind = Kind::base64;
        std::function<std::string(const platform::Data&)> closure;  // may throw

        static DataEncoding deferredToData() { return {Kind::deferredToData, nullptr}; }
        static DataEncoding base64() { return {Kind::base64, nullptr}; }
        static DataEncoding custom(std::function<std::string(const platform::Data&)> f) {
            return {Kind::custom, std::move(f)};
        }
        // None: the data encodes itself (a list of its bytes).
        std::optional<std::string> encode(const platform::Data& data) const;
    };

    struct DateEncoding {
        enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, formatted, custom };
        Kind kind = Kind::deferredToDate;
        std::shared_ptr<const platform::DateFormatter> formatter;
        std::function<std::string(platform::Date)> closure;  // may throw

        static DateEncoding deferredToDate() { return {Kind::deferredToDate, nullptr, nullptr}; }
        static DateEncoding secondsSince1970() { return {Kind::secondsSince1970, nullptr, nullptr}; }
        static DateEncoding millisecondsSince1970() { return {Kind::millisecondsSince1970, nullptr, nullptr}; }
        static DateEncoding iso8601() { return {Kind::iso8601, nullptr, nullptr}; }
        static DateEncoding formatted(std::shared_ptr<const platform::DateFormatter> f) {
            return {Kind::formatted, std::move(f), nullptr};
        }
        static DateEncoding custom(std::function<std::string(platform::Date)> f) {
            return {Kind::custom, nullptr, std::move(f)};
        }
        // None: the date encodes itself (seconds since 2001 as a double).
        std::optional<std::string> encode(platform::Date date) const;
    };

    struct KeyEncoding {
        enum class Kind {
            useDefaultKeys,
            convertToSnakeCase,
            convertToKebabCase,
            capitalized,
            uppercased,
            lowercased,
            custom
        };
        Kind kind = Kind::useDefaultKeys;
        std::function<std::string(const std::string&)> closure;

        static KeyEncoding useDefaultKeys() { return {Kind::useDefaultKeys, nullptr}; }
        static KeyEncoding convertToSnakeCase() { return {Kind::convertToSnakeCase, nullptr}; }
        static KeyEncoding convertToKebabCase() { return {Kind::convertToKebabCase, nullptr}; }
        static KeyEncoding capitalized() { return {Kind::capitalized, nullptr}; }
        static KeyEncoding uppercased() { return {Kind::uppercased, nullptr}; }
        static KeyEncoding lowercased() { return {Kind::lowercased, nullptr}; }
        static KeyEncoding custom(std::function<std::string(const std::string&)> f) {
            return {Kind::custom, std::move(f)};
        }
        std::string encode(const std::string& key) const;
    };

    // How a nested object's entry key is appended to its parent's key.
    struct KeyPathEncoding {
        std::function<std::string(const std::string& subkey)> encoding;
        static KeyPathEncoding brackets() {
            return {[](const std::string& k) { return "[" + k + "]"; }};
        }
        static KeyPathEncoding dots() {
            return {[](const std::string& k) { return "." + k; }};
        }
        std::string encodeKeyPath(const std::string& subkey) const { return encoding(subkey); }
    };

    // What an explicitly encoded nil writes; none leaves the pair out.
    struct NilEncoding {
        std::function<std::optional<std::string>()> encoding;
        static NilEncoding dropKey() {
            return {[] { return std::optional<std::string>(); }};
        }
        static NilEncoding dropValue() {
            return {[] { return std::optional<std::string>(""); }};
        }
        static NilEncoding null() {
            return {[] { return std::optional<std::string>("null"); }};
        }
        std::optional<std::string> encodeNil() const { return encoding(); }
    };

    enum class SpaceEncoding { percentEscaped, plusReplaced };

    // The root of the value was not an object (a bare text or a list at the top).
    class Error : public platform::Error {
    public:
        explicit Error(std::string rootText) : rootText(std::move(rootText)) {}
        const std::string rootText;
        std::string domain() const override { return "Hawser.URLEncodedFormEncoder.Error"; }
        std::int64_t code() const override { return 0; }
        std::string localizedDescription() const override { return debugDescription(); }
        std::string debugDescription() const override { return "invalidRootObject(\"" + rootText + "\")"; }
        std::string typeName() const override { return "URLEncodedFormEncoder.Error"; }
    };

    explicit URLEncodedFormEncoder(bool alphabetizeKeyValuePairs = true,
                                   ArrayEncoding arrayEncoding = ArrayEncoding::brackets(),
                                   BoolEncoding boolEncoding = BoolEncoding::numeric,
                                   DataEncoding dataEncoding = DataEncoding::base64(),
                                   DateEncoding dateEncoding = DateEncoding::deferredToDate(),
                                   KeyEncoding keyEncoding = KeyEncoding::useDefaultKeys(),
                                   KeyPathEncoding keyPathEncoding = KeyPathEncoding::brackets(),
                                   NilEncoding nilEncoding = NilEncoding::dropKey(),
                                   SpaceEncoding spaceEncoding = SpaceEncoding::percentEscaped,
                                   platform::CharacterSet allowedCharacters = defaultAllowedCharacters());

    const bool alphabetizeKeyValuePairs;
    const ArrayEncoding arrayEncoding;
    const BoolEncoding boolEncoding;
    const DataEncoding dataEncoding;
    const DateEncoding dateEncoding;
    const KeyEncoding keyEncoding;
    const KeyPathEncoding keyPathEncoding;
    const NilEncoding nilEncoding;
    const SpaceEncoding spaceEncoding;
    // The one option that may change; each encoding takes a copy when it starts.
    platform::CharacterSet allowedCharacters;

    // ASCII letters and digits and - . _ ~ / ?
    static platform::CharacterSet defaultAllowedCharacters();

    // The value's form text. Throws ErrorException: Error (root not an object), the
    // coding layer's EncodingError, or whatever a custom closure threw.
    template <class T>
    std::string encode(const T& value) const {
        return encodeSelf([&value](platform::Encoder& e) { platform::encodeValue(e, value); });
    }
    template <class T>
    platform::Data encodeData(const T& value) const {
        return platform::Data::fromString(encode(value));
    }
    template <class T>
    URLEncodedFormComponent encodeComponent(const T& value) const {
        return encodeComponentSelf([&value](platform::Encoder& e) { platform::encodeValue(e, value); });
    }

    // The type-erased forms behind the templates.
    std::string encodeSelf(const std::function<void(platform::Encoder&)>& encodeValue) const;
    URLEncodedFormComponent encodeComponentSelf(const std::function<void(platform::Encoder&)>& encodeValue) const;
};

// The Encoder the value writes into: every scalar becomes a text leaf at its coding path
// in the context's tree.
struct URLEncodedFormEncodingOptions {
    URLEncodedFormEncoder::BoolEncoding boolEncoding;
    URLEncodedFormEncoder::DataEncoding dataEncoding;
    URLEncodedFormEncoder::DateEncoding dateEncoding;
    URLEncodedFormEncoder::NilEncoding nilEncoding;
};

class URLEncodedFormContainerEncoder : public platform::Encoder {
public:
    URLEncodedFormContainerEncoder(std::shared_ptr<URLEncodedFormContext> context, platform::CodingPath codingPath,
                                   std::shared_ptr<const URLEncodedFormEncodingOptions> options)
        : context_(std::move(context)), codingPath_(std::move(codingPath)), options_(std::move(options)) {}

    platform::CodingPath codingPath() const override { return codingPath_; }
    platform::KeyedEncodingContainerPtr container() override;
    platform::UnkeyedEncodingContainerPtr unkeyedContainer() override;
    platform::SingleValueEncodingContainerPtr singleValueContainer() override;

private:
    std::shared_ptr<URLEncodedFormContext> context_;
    platform::CodingPath codingPath_;
    std::shared_ptr<const URLEncodedFormEncodingOptions> options_;
};

// Splits a key into words at upper-case letters (a run of capitals is one word, its
// last capital starting the next word), lower-cases them and joins them.
std::string convertKeyCase(const std::string& key, const std::string& separator);

}  // namespace Hawser
