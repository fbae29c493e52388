// Texts of the HTTP status error. The description prints its dictionary in the
// platform's property-list text form: keys in order, one "key = value;" per line,
// texts quoted unless they are plain words.
#include "Pledge/PLGHTTPError.h"

#include <cctype>

#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/StringEncoding.h"
#include "platform/foundation/TextForms.h"

namespace Pledge {

namespace {

std::string plistText(const std::string& text) {
    bool plain = !text.empty();
    for (unsigned char c : text) plain = plain && (std::isalnum(c) || c == '_' || c == '.' || c == '$');
    return plain ? text : platform::quotedText(text);
}

std::string plistValue(const platform::Value& value, int depth);

std::string plistDictionary(const platform::Value::Dictionary& dictionary, int depth) {
    const std::string inner(static_cast<std::size_t>(depth + 1) * 4, ' ');
    std::string text = "{\n";
    for (const auto& [key, value] : dictionary) {
        const bool nested = value.isDictionary();
        text += inner + plistText(key) + " = " + (nested ? "    " : "") + plistValue(value, depth + 1) + ";\n";
    }
    return text + std::string(static_cast<std::size_t>(depth) * 4, ' ') + "}";
}

std::string plistValue(const platform::Value& value, int depth) {
    if (auto dictionary = value.asDictionary()) return plistDictionary(*dictionary, depth);
    if (auto text = value.asString()) return plistText(*text);
    return platform::valueText(value);
}

}  // namespace

std::string PLGHTTPError::urlText() const {
    if (case_.response && case_.response->url()) return case_.response->url()->absoluteString();
    return "nil";
}

std::string PLGHTTPError::errorDescription() const {
    if (case_.statusCode == 401) return "Unauthorized (" + urlText() + ")";
    return "Invalid HTTP response (" + std::to_string(case_.statusCode) + ") for " + urlText() + ".";
}

std::optional<std::string> PLGHTTPError::bodyText() const {
    return platform::StringEncoding::utf8().decode(case_.body);
}

std::optional<platform::Value> PLGHTTPError::jsonBody() const {
    auto parsed = platform::JSONSerialization::jsonObject(case_.body);
    if (parsed.isFailure()) return std::nullopt;
    return parsed.value();
}

std::string PLGHTTPError::description() const {
    platform::Value::Dictionary fields{
        {"Status Code", platform::Value(static_cast<long long>(case_.statusCode))},
        {"Body", platform::Value(bodyText().value_or(std::to_string(case_.body.count()) + " bytes"))},
    };
    platform::Value::Dictionary headers;
    if (case_.response) {
        if (case_.response->url()) fields["URL"] = case_.response->url()->absoluteString();
        for (const auto& [name, value] : case_.response->allHeaderFields()) headers[name] = value;
    }
    fields["Headers"] = std::move(headers);
    return "<NSHTTPResponse> " + plistDictionary(fields, 0);
}

platform::Value::Dictionary PLGHTTPError::userInfo() const {
    platform::Value::Dictionary info{{platform::NSLocalizedDescriptionKey, errorDescription()}};
    if (auto reason = failureReason()) info[platform::NSLocalizedFailureReasonErrorKey] = *reason;
    return info;
}

}  // namespace Pledge
