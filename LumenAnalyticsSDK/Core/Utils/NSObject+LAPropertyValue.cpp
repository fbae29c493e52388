// Property value rules of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAPropertyValue.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"
#include "platform/foundation/TextForms.h"
#include "platform/foundation/UTF16.h"

namespace LumenAnalyticsSDK {
namespace {

std::size_t lengthLimit(const std::string& key) {
    return key == "app_crashed_reason" ? kLACrashReasonMaxLength : kLAPropertyValueMaxLength;
}

platform::Value cutString(const std::string& text, const std::string& key) {
    std::size_t limit = lengthLimit(key);
    if (platform::utf16Count(text) < limit) return text;
    LALogWarn(text + "'s length is longer than " + std::to_string(limit));
    return platform::utf16Prefix(text, limit - 1) + "$";
}

bool isCollection(const platform::Value& value) { return value.isArray() || value.isSet(); }

const std::vector<platform::Value>& members(const platform::Value& collection) {
    return collection.isArray() ? *collection.asArray() : collection.asSet()->members;
}

// The text of one element that is not a collection, after its own rule; none to leave it out.
std::optional<std::string> scalarText(const platform::Value& element, const std::string& key,
                                      platform::ErrorPtr& error) {
    if (!lumen_isPropertyValue(element)) return std::nullopt;
    auto valid = lumen_propertyValueWithKey(element, key, error);
    if (!valid) return std::nullopt;
    // A Boolean is a number here and is written as one.
    if (const auto flag = valid->asBool()) return *flag ? "1" : "0";
    return lumen_toString(*valid);
}

// Appends `text` quoted, or as much of it as `room` bytes allow (never half a character).
void appendQuoted(std::string& out, std::string_view text, std::size_t room) {
    if (text.size() > room) {
        text = text.substr(0, room);
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) text.remove_suffix(1);
        if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0) text.remove_suffix(1);
    }
    out += platform::quotedText(text);
}

// The printed form of a collection held in a collection, written once: its elements by
// the element rule and quoted, the collections within in their own brackets. Every
// element is written once whatever the depth, and writing stops once the text is surely
// past the length limit (three bytes of UTF-8 per UTF-16 unit at most), so the cost is
// linear and bounded. A loop with its own stack, as a page may nest hundreds deep.
std::string nestedText(const platform::Value& collection, const std::string& key, platform::ErrorPtr& error) {
    const std::size_t cap = 3 * lengthLimit(key);
    struct Level {
        const std::vector<platform::Value>* items;
        std::size_t next = 0;
        bool wroteAny = false;
    };
    std::vector<Level> levels{{&members(collection)}};
    std::string out = "[";
    while (!levels.empty() && out.size() < cap) {
        auto& level = levels.back();
        if (level.next == level.items->size()) {
            out += ']';
            levels.pop_back();
            continue;
        }
        const auto& element = (*level.items)[level.next++];
        std::optional<std::string> text;
        if (!isCollection(element) && !(text = scalarText(element, key, error))) continue;
        if (level.wroteAny) out += ", ";
        level.wroteAny = true;
        if (text) {
            appendQuoted(out, *text, cap - std::min(cap, out.size()));
        } else {
            out += '[';
            levels.push_back({&members(element)});
        }
    }
    return out;
}

// Each element that is a property value turned into text, a collection in it written once.
std::vector<platform::Value> elementTexts(const std::vector<platform::Value>& elements, const std::string& key,
                                          platform::ErrorPtr& error) {
    std::vector<platform::Value> texts;
    for (const auto& element : elements) {
        if (isCollection(element)) texts.push_back(cutString(nestedText(element, key, error), key));
        else if (auto text = scalarText(element, key, error)) texts.emplace_back(std::move(*text));
    }
    return texts;
}

}  // namespace

bool lumen_isPropertyValue(const platform::Value& value) {
    using Kind = platform::Value::Kind;
    switch (value.kind()) {
        case Kind::null:
        case Kind::boolean:
        case Kind::int64:
        case Kind::uint64:
        case Kind::real:
        case Kind::string:
        case Kind::date:
        case Kind::array:
        case Kind::set: return true;
        case Kind::data:
        case Kind::dictionary:
        case Kind::object: return false;
    }
    return false;
}

std::optional<platform::Value> lumen_propertyValueWithKey(const platform::Value& value, const std::string& key,
                                                          platform::ErrorPtr& error) {
    using Kind = platform::Value::Kind;
    switch (value.kind()) {
        case Kind::string: return cutString(*value.asString(), key);
        // Not-a-number and either infinity would make the whole event unwritable as JSON.
        case Kind::real: return std::isfinite(*value.asDouble()) ? std::optional(value) : std::nullopt;
        case Kind::boolean:
        case Kind::int64:
        case Kind::uint64:
        case Kind::date: return value;
        case Kind::array: return platform::Value(elementTexts(*value.asArray(), key, error));
        case Kind::set: {
            platform::Value::Set set;
            for (auto& text : elementTexts(value.asSet()->members, key, error)) set.insert(std::move(text));
            return platform::Value(std::move(set));
        }
        default: return std::nullopt;
    }
}

}  // namespace LumenAnalyticsSDK
