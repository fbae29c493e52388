// JSON reading (over nlohmann-json) and writing (our own, for the platform's output
// form: "\/" escaping, " : " in pretty output, integral doubles without ".0").
#include "platform/foundation/JSONSerialization.h"

#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "platform/foundation/UTF16.h"

namespace platform {

namespace {
constexpr std::size_t kMaxDepth = 512;

ErrorPtr jsonError(const std::string& debug, bool reading = true) {
    return NSError::make(
        NSCocoaErrorDomain, NSPropertyListReadCorruptError,
        {{NSLocalizedDescriptionKey,
          Value(reading ? "The data couldn\u2019t be read because it isn\u2019t in the correct format."
                        : "The data couldn\u2019t be written because it isn\u2019t in the correct format.")},
         {NSDebugDescriptionErrorKey, Value(debug)}});
}

// Deep nesting would exhaust the stack while converting; refuse it first.
bool nestsTooDeep(std::string_view text) {
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

Value fromJSON(const nlohmann::json& j) {
    switch (j.type()) {
        case nlohmann::json::value_t::null: return Value();
        case nlohmann::json::value_t::boolean: return Value(j.get<bool>());
        case nlohmann::json::value_t::number_integer: return Value(static_cast<long long>(j.get<std::int64_t>()));
        case nlohmann::json::value_t::number_unsigned: {
            auto u = j.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(INT64_MAX)) return Value(static_cast<long long>(u));
            return Value(static_cast<unsigned long long>(u));
        }
        case nlohmann::json::value_t::number_float: return Value(j.get<double>());
        case nlohmann::json::value_t::string: return Value(j.get<std::string>());
        case nlohmann::json::value_t::array: {
            Value::Array a;
            a.reserve(j.size());
            for (const auto& e : j) a.push_back(fromJSON(e));
            return Value(std::move(a));
        }
        case nlohmann::json::value_t::object: {
            Value::Dictionary d;
            for (auto it = j.begin(); it != j.end(); ++it) d[it.key()] = fromJSON(it.value());
            return Value(std::move(d));
        }
        default: return Value();
    }
}

struct Writer {
    JSONWritingOptions options;
    std::string out;
    ErrorPtr error;

    void newline(std::size_t depth) {
        out += '\n';
        out.append(depth * 2, ' ');
    }

    void string(std::string_view raw) {
        std::string s = isValidUTF8(raw) ? std::string(raw) : sanitizedUTF8(raw);
        static const char hex[] = "0123456789abcdef";
        out += '"';
        for (unsigned char c : s) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '/':
                    if (options.contains(JSONWritingOptions::withoutEscapingSlashes)) out += '/';
                    else out += "\\/";
                    break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (c < 0x20) {
                        out += "\\u00";
                        out += hex[c >> 4];
                        out += hex[c & 15];
                    } else {
                        out += static_cast<char>(c);
                    }
            }
        }
        out += '"';
    }

    void number(double d) {
        if (!std::isfinite(d)) {
            error = jsonError(std::string("Invalid number value (") + (std::isnan(d) ? "NaN" : "infinite") +
                                  ") in JSON write",
                              false);
            return;
        }
        // Integral values print as integers, as the platform's writer does.
        if (d == std::trunc(d) && std::fabs(d) < 1e15) {
            out += std::to_string(static_cast<long long>(d));
            return;
        }
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, d);
        out.append(buf, r.ptr);
    }

    void value(const Value& v, std::size_t depth) {
        if (error) return;
        bool pretty = options.contains(JSONWritingOptions::prettyPrinted);
        switch (v.kind()) {
            case Value::Kind::null: out += "null"; break;
            case Value::Kind::boolean: out += *v.asBool() ? "true" : "false"; break;
            case Value::Kind::int64: out += std::to_string(*v.asInt64()); break;
            case Value::Kind::uint64: out += std::to_string(*v.asUInt64()); break;
            case Value::Kind::real: number(*v.asDouble()); break;
            case Value::Kind::string: string(*v.asString()); break;
            case Value::Kind::array: {
                const auto& a = *v.asArray();
                out += '[';
                for (std::size_t i = 0; i < a.size(); ++i) {
                    if (i) out += ',';
                    if (pretty) newline(depth + 1);
                    value(a[i], depth + 1);
                }
                if (pretty && !a.empty()) newline(depth);
                out += ']';
                break;
            }
            case Value::Kind::dictionary: {
                const auto& d = *v.asDictionary();
                out += '{';
                bool first = true;
                for (const auto& [key, member] : d) {
                    if (!first) out += ',';
                    first = false;
                    if (pretty) newline(depth + 1);
                    string(key);
                    out += pretty ? " : " : ":";
                    value(member, depth + 1);
                }
                if (pretty && !d.empty()) newline(depth);
                out += '}';
                break;
            }
            default: error = jsonError("Invalid type in JSON write (" + v.typeName() + ")", false);
        }
    }
};

bool validMember(const Value& v, std::size_t depth) {
    if (depth > kMaxDepth) return false;
    switch (v.kind()) {
        case Value::Kind::null:
        case Value::Kind::boolean:
        case Value::Kind::int64:
        case Value::Kind::uint64:
        case Value::Kind::string: return true;
        case Value::Kind::real: return std::isfinite(*v.asDouble());
        case Value::Kind::array:
            for (const auto& e : *v.asArray())
                if (!validMember(e, depth + 1)) return false;
            return true;
        case Value::Kind::dictionary:
            for (const auto& [k, e] : *v.asDictionary())
                if (!validMember(e, depth + 1)) return false;
            return true;
        default: return false;
    }
}
}  // namespace

Result<Value> JSONSerialization::jsonObject(std::string_view text, ReadingOptions options) {
    if (text.empty()) return Result<Value>::failure(jsonError("Unable to parse empty data."));
    if (nestsTooDeep(text)) return Result<Value>::failure(jsonError("Too many nested arrays or dictionaries."));
    std::string clean = isValidUTF8(text) ? std::string(text) : sanitizedUTF8(text);
    nlohmann::json parsed;
    try {
        parsed = nlohmann::json::parse(clean);
    } catch (const nlohmann::json::exception& e) {
        std::string message = e.what();
        auto close = message.find("] ");
        if (message.rfind("[json.exception", 0) == 0 && close != std::string::npos) message.erase(0, close + 2);
        return Result<Value>::failure(jsonError(message));
    }
    if (!parsed.is_array() && !parsed.is_object() && !options.contains(ReadingOptions::fragmentsAllowed))
        return Result<Value>::failure(
            jsonError("JSON text did not start with array or object and option to allow fragments not set."));
    return Result<Value>::success(fromJSON(parsed));
}

Result<Value> JSONSerialization::jsonObject(const Data& data, ReadingOptions options) {
    return jsonObject(std::string_view(reinterpret_cast<const char*>(data.data()), data.count()), options);
}

bool JSONSerialization::isValidJSONObject(const Value& value) {
    return (value.isArray() || value.isDictionary()) && validMember(value, 0);
}

Result<std::string> JSONSerialization::string(const Value& value, WritingOptions options) {
    if (!value.isArray() && !value.isDictionary() && !options.contains(WritingOptions::fragmentsAllowed))
        return Result<std::string>::failure(jsonError("Invalid top-level type in JSON write", false));
    if (!validMember(value, 0)) {
        Writer probe{options, {}, nullptr};
        probe.value(value, 0);
        return Result<std::string>::failure(probe.error ? probe.error
                                                        : jsonError("Too deeply nested for JSON write", false));
    }
    Writer w{options, {}, nullptr};
    w.value(value, 0);
    if (w.error) return Result<std::string>::failure(w.error);
    return Result<std::string>::success(std::move(w.out));
}

Result<Data> JSONSerialization::data(const Value& value, WritingOptions options) {
    return string(value, options).map([](const std::string& s) { return Data::fromString(s); });
}

}  // namespace platform
