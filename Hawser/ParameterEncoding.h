// Parameter encodings: a loosely typed parameter set goes into a URL request, either
// as percent-escaped key=value pairs (in the query or as a form body) or as JSON.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Hawser/URLConvertible.h"
#include "platform/base/Value.h"
#include "platform/foundation/CharacterSet.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/net/URLRequest.h"

namespace Hawser {

// Text keys to values of any kind. Top-level keys are encoded in sorted order.
using Parameters = platform::Value::Dictionary;

// The only characters left unescaped in query and form keys and values: ASCII letters
// and digits and "-._~/?". Built once.
const platform::CharacterSet& urlQueryComponentAllowed();

class ParameterEncoding {
public:
    virtual ~ParameterEncoding() = default;
    // A changed copy of the convertible's request; throws platform::ErrorException.
    virtual platform::URLRequest encode(const URLRequestConvertible& request,
                                        const std::optional<Parameters>& parameters) const = 0;
    platform::URLRequest encode(const platform::URLRequest& request,
                                const std::optional<Parameters>& parameters) const {
        return encode(URLRequestValue(request), parameters);
    }
};
using ParameterEncodingPtr = std::shared_ptr<const ParameterEncoding>;

class URLEncoding : public ParameterEncoding {
public:
    enum class Destination { methodDependent, queryString, httpBody };
    enum class BoolEncoding { numeric, literal };
    struct ArrayEncoding {
        enum class Kind { custom, brackets, noBrackets, indexInBrackets };
        Kind kind = Kind::brackets;
        // For `custom`: the key to use for (key, element index).
        std::function<std::string(const std::string&, int)> custom;

        static ArrayEncoding brackets() { return {Kind::brackets, nullptr}; }
        static ArrayEncoding noBrackets() { return {Kind::noBrackets, nullptr}; }
        static ArrayEncoding indexInBrackets() { return {Kind::indexInBrackets, nullptr}; }
        static ArrayEncoding customEncoding(std::function<std::string(const std::string&, int)> f) {
            return {Kind::custom, std::move(f)};
        }
        std::string encode(const std::string& key, int index) const;
    };

    Destination destination = Destination::methodDependent;
    ArrayEncoding arrayEncoding;
    BoolEncoding boolEncoding = BoolEncoding::numeric;

    URLEncoding() = default;
    URLEncoding(Destination destination, ArrayEncoding arrayEncoding = ArrayEncoding::brackets(),
                BoolEncoding boolEncoding = BoolEncoding::numeric)
        : destination(destination), arrayEncoding(std::move(arrayEncoding)), boolEncoding(boolEncoding) {}

    // Method-dependent, brackets, numeric. (`default` is a keyword here.)
    static URLEncoding default_() { return URLEncoding(); }
    static URLEncoding queryString() { return URLEncoding(Destination::queryString); }
    static URLEncoding httpBody() { return URLEncoding(Destination::httpBody); }

    // Into the query for GET, HEAD and DELETE (method-dependent) or always
    // (queryString); otherwise into a form body with the form content type unless one
    // is set. A URL that cannot be split fails with parameterEncodingFailed(missingURL).
    platform::URLRequest encode(const URLRequestConvertible& request,
                                const std::optional<Parameters>& parameters) const override;
    using ParameterEncoding::encode;

    // The finished query text: top-level keys sorted, pairs joined by "&".
    std::string query(const Parameters& parameters) const;
    // Escaped (key, value) pairs for one value, nested keys composed as key[sub].
    std::vector<std::pair<std::string, std::string>> queryComponents(const std::string& key,
                                                                     const platform::Value& value) const;
    // Percent-escapes every byte outside urlQueryComponentAllowed(); cannot fail.
    static std::string escape(std::string_view text);
};

class JSONEncoding : public ParameterEncoding {
public:
    // The object given is not one the JSON writer accepts.
    class Error : public platform::Error {
    public:
        enum class Case { invalidJSONObject };
        Case value = Case::invalidJSONObject;
        std::string domain() const override { return "Hawser.JSONEncoding.Error"; }
        std::int64_t code() const override { return static_cast<std::int64_t>(value); }
        std::string localizedDescription() const override;
        std::string typeName() const override { return "JSONEncoding.Error"; }
        friend bool operator==(const Error& a, const Error& b) { return a.value == b.value; }
    };

    platform::JSONWritingOptions options;

    JSONEncoding() = default;
    explicit JSONEncoding(platform::JSONWritingOptions options) : options(options) {}
    static JSONEncoding default_() { return JSONEncoding(); }
    static JSONEncoding prettyPrinted() { return JSONEncoding(platform::JSONWritingOptions::prettyPrinted); }

    platform::URLRequest encode(const URLRequestConvertible& request,
                                const std::optional<Parameters>& parameters) const override;
    using ParameterEncoding::encode;
    // Any JSON object (an array, say) as the body.
    platform::URLRequest encodeJSONObject(const URLRequestConvertible& request,
                                          const std::optional<platform::Value>& jsonObject) const;
};

}  // namespace Hawser
