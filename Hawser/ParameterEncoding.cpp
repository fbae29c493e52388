// URL (query or form body) and JSON parameter encodings.
#include "Hawser/ParameterEncoding.h"

#include <cmath>

#include "Hawser/HTTPHeaders.h"
#include "Hawser/HWError.h"
#include "platform/foundation/TextForms.h"
#include "platform/foundation/URLComponents.h"

namespace Hawser {

namespace {

[[noreturn]] void throwMissingURL() {
    HWError::parameterEncodingFailed(ParameterEncodingFailureReason::missingURL()).raise();
}

// A number as its standard description: integers in decimal, integral doubles
// without a fraction ("2"), others in their shortest form ("1.5").
std::string numberText(const platform::Value& v) {
    if (v.kind() == platform::Value::Kind::real) {
        double d = *v.asDouble();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
            return std::to_string(static_cast<long long>(d));
    }
    return platform::valueText(v);
}

}  // namespace

const platform::CharacterSet& urlQueryComponentAllowed() {
    // The query set without the general and sub-delimiters, so that "&", "=", "+" and
    // brackets in keys and values cannot be read as structure.
    static const platform::CharacterSet set = platform::CharacterSet::urlQueryAllowed().removing(":#[]@!$&'()*+,;=");
    return set;
}

std::string URLEncoding::ArrayEncoding::encode(const std::string& key, int index) const {
    switch (kind) {
        case Kind::custom: return custom ? custom(key, index) : key;
        case Kind::brackets: return key + "[]";
        case Kind::noBrackets: return key;
        case Kind::indexInBrackets: return key + "[" + std::to_string(index) + "]";
    }
    return key;
}

std::string URLEncoding::escape(std::string_view text) {
    return platform::addingPercentEncoding(text, urlQueryComponentAllowed());
}

std::vector<std::pair<std::string, std::string>> URLEncoding::queryComponents(const std::string& key,
                                                                              const platform::Value& value) const {
    std::vector<std::pair<std::string, std::string>> out;
    if (auto dictionary = value.asDictionary()) {
        for (const auto& [nestedKey, nestedValue] : *dictionary) {
            auto parts = queryComponents(key + "[" + nestedKey + "]", nestedValue);
            out.insert(out.end(), parts.begin(), parts.end());
        }
    } else if (auto array = value.asArray()) {
        for (std::size_t i = 0; i < array->size(); ++i) {
            auto parts = queryComponents(arrayEncoding.encode(key, static_cast<int>(i)), (*array)[i]);
            out.insert(out.end(), parts.begin(), parts.end());
        }
    } else if (auto flag = value.asBool()) {
        // Only a real Boolean; an 8-bit integer is a number like any other.
        const char* text = boolEncoding == BoolEncoding::numeric ? (*flag ? "1" : "0") : (*flag ? "true" : "false");
        out.emplace_back(escape(key), escape(text));
    } else if (value.isNumber()) {
        out.emplace_back(escape(key), escape(numberText(value)));
    } else {
        out.emplace_back(escape(key), escape(platform::valueText(value)));
    }
    return out;
}

std::string URLEncoding::query(const Parameters& parameters) const {
    std::string out;
    for (const auto& [key, value] : parameters) {  // the map keeps its keys sorted
        for (const auto& [name, text] : queryComponents(key, value)) {
            if (!out.empty()) out += "&";
            out += name + "=" + text;
        }
    }
    return out;
}

platform::URLRequest URLEncoding::encode(const URLRequestConvertible& convertible,
                                         const std::optional<Parameters>& parameters) const {
    platform::URLRequest request = convertible.asURLRequest();
    if (!parameters) return request;

    // A request always has a method here: the platform reads an unset one as GET.
    std::string method = request.httpMethod();
    bool inURL =
        destination == Destination::queryString ||
        (destination == Destination::methodDependent && (method == "GET" || method == "HEAD" || method == "DELETE"));
    if (inURL) {
        if (!request.url()) throwMissingURL();
        auto components = platform::URLComponents::fromURL(*request.url());
        if (parameters->empty()) return request;
        std::string encoded = components.percentEncodedQuery() ? *components.percentEncodedQuery() + "&" : "";
        components.setPercentEncodedQuery(encoded + query(*parameters));
        // Parameters are never dropped: a URL that cannot be rebuilt is an error.
        auto url = components.url();
        if (!url) throwMissingURL();
        request.setURL(*url);
    } else {
        HTTPHeaders fields = headers(request);
        if (!fields.value("Content-Type")) {
            fields.update(HTTPHeader::contentType("application/x-www-form-urlencoded; charset=utf-8"));
            setHeaders(request, fields);
        }
        request.setHTTPBody(platform::Data::fromString(query(*parameters)));
    }
    return request;
}

std::string JSONEncoding::Error::localizedDescription() const {
    return "Invalid JSON object provided for parameter or object encoding. This is most likely due to a value which "
           "can't be represented in Objective-C.";
}

platform::URLRequest JSONEncoding::encode(const URLRequestConvertible& convertible,
                                          const std::optional<Parameters>& parameters) const {
    if (!parameters) return convertible.asURLRequest();
    return encodeJSONObject(convertible, platform::Value(*parameters));
}

platform::URLRequest JSONEncoding::encodeJSONObject(const URLRequestConvertible& convertible,
                                                    const std::optional<platform::Value>& jsonObject) const {
    platform::URLRequest request = convertible.asURLRequest();
    if (!jsonObject) return request;
    if (!platform::JSONSerialization::isValidJSONObject(*jsonObject))
        HWError::parameterEncodingFailed(
            ParameterEncodingFailureReason::jsonEncodingFailed(std::make_shared<JSONEncoding::Error>()))
            .raise();
    auto body = platform::JSONSerialization::data(*jsonObject, options);
    if (body.isFailure())
        HWError::parameterEncodingFailed(ParameterEncodingFailureReason::jsonEncodingFailed(body.error())).raise();
    HTTPHeaders fields = headers(request);
    if (!fields.value("Content-Type")) {
        fields.update(HTTPHeader::contentType("application/json"));
        setHeaders(request, fields);
    }
    request.setHTTPBody(body.value());
    return request;
}

}  // namespace Hawser
