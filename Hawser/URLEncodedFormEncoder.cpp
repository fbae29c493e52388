// The form encoder's options and its two stages (tree, then text).
#include "Hawser/URLEncodedFormEncoder.h"

#include <mutex>

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "Hawser/URLEncodedFormSerializer.h"
#include "platform/base/NoDestructor.h"
#include "platform/foundation/ISO8601DateFormatter.h"
#include "platform/foundation/TextForms.h"

namespace Hawser {

namespace {

std::u32string codePoints(const std::string& text) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    std::u32string out;
    for (int32_t i = 0; i < u.length();) {
        UChar32 c = u.char32At(i);
        out.push_back(static_cast<char32_t>(c));
        i += U16_LENGTH(c);
    }
    return out;
}

std::string utf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

icu::UnicodeString fromCodePoints(const std::u32string& s, std::size_t begin, std::size_t end) {
    icu::UnicodeString u;
    for (std::size_t i = begin; i < end; ++i) u.append(static_cast<UChar32>(s[i]));
    return u;
}

bool isUpper(char32_t c) { return u_isupper(static_cast<UChar32>(c)) || u_istitle(static_cast<UChar32>(c)); }
bool isLower(char32_t c) { return u_islower(static_cast<UChar32>(c)); }

const platform::ISO8601DateFormatter& sharedISO8601Formatter() {
    // Internet date-time in UTC without fractional seconds: the formatter's default.
    static const platform::NoDestructor<platform::ISO8601DateFormatter> formatter;
    return *formatter;
}

}  // namespace

std::string convertKeyCase(const std::string& key, const std::string& separator) {
    if (key.empty()) return key;
    const std::u32string s = codePoints(key);
    std::vector<std::pair<std::size_t, std::size_t>> words;
    std::size_t wordStart = 0;
    std::size_t searchStart = 1;
    while (true) {
        std::size_t upper = searchStart;
        while (upper < s.size() && !isUpper(s[upper])) ++upper;
        if (upper >= s.size()) break;
        words.emplace_back(wordStart, upper);
        std::size_t lower = upper;
        while (lower < s.size() && !isLower(s[lower])) ++lower;
        if (lower >= s.size()) {
            wordStart = upper;
            break;
        }
        if (lower == upper + 1) {
            wordStart = upper;
        } else {
            // A run of capitals is a word; its last capital begins the next one.
            words.emplace_back(upper, lower - 1);
            wordStart = lower - 1;
        }
        searchStart = lower + 1;
    }
    words.emplace_back(wordStart, s.size());
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i) out += separator;
        out += utf8(fromCodePoints(s, words[i].first, words[i].second).toLower(icu::Locale::getRoot()));
    }
    return out;
}

std::string URLEncodedFormEncoder::ArrayEncoding::encode(const std::string& key, int atIndex) const {
    switch (kind) {
        case Kind::brackets: return key + "[]";
        case Kind::noBrackets: return key;
        case Kind::indexInBrackets: return key + "[" + std::to_string(atIndex) + "]";
        case Kind::custom: return closure(key, atIndex);
    }
    return key;
}

std::optional<std::string> URLEncodedFormEncoder::DataEncoding::encode(const platform::Data& data) const {
    switch (kind) {
        case Kind::deferredToData: return std::nullopt;
        case Kind::base64: return data.base64EncodedString();
        case Kind::custom: return closure(data);
    }
    return std::nullopt;
}

std::optional<std::string> URLEncodedFormEncoder::DateEncoding::encode(platform::Date date) const {
    switch (kind) {
        case Kind::deferredToDate: return std::nullopt;
        case Kind::secondsSince1970: return platform::doubleText(date.timeIntervalSince1970());
        case Kind::millisecondsSince1970: return platform::doubleText(date.timeIntervalSince1970() * 1000.0);
        case Kind::iso8601: return sharedISO8601Formatter().string(date);
        case Kind::formatted: return formatter->string(date);
        case Kind::custom: return closure(date);
    }
    return std::nullopt;
}

std::string URLEncodedFormEncoder::KeyEncoding::encode(const std::string& key) const {
    switch (kind) {
        case Kind::useDefaultKeys: return key;
        case Kind::convertToSnakeCase: return convertKeyCase(key, "_");
        case Kind::convertToKebabCase: return convertKeyCase(key, "-");
        case Kind::capitalized: {
            const std::u32string s = codePoints(key);
            if (s.empty()) return key;
            return utf8(fromCodePoints(s, 0, 1).toUpper(icu::Locale::getRoot())) + utf8(fromCodePoints(s, 1, s.size()));
        }
        case Kind::uppercased: return utf8(icu::UnicodeString::fromUTF8(key).toUpper(icu::Locale::getRoot()));
        case Kind::lowercased: return utf8(icu::UnicodeString::fromUTF8(key).toLower(icu::Locale::getRoot()));
        case Kind::custom: return closure(key);
    }
    return key;
}

platform::CharacterSet URLEncodedFormEncoder::defaultAllowedCharacters() {
    static const platform::NoDestructor<platform::CharacterSet> set(
        platform::CharacterSet::fromCharacters("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~/?"));
    return *set;
}

URLEncodedFormEncoder::URLEncodedFormEncoder(bool alphabetizeKeyValuePairs, ArrayEncoding arrayEncoding,
                                             BoolEncoding boolEncoding, DataEncoding dataEncoding,
                                             DateEncoding dateEncoding, KeyEncoding keyEncoding,
                                             KeyPathEncoding keyPathEncoding, NilEncoding nilEncoding,
                                             SpaceEncoding spaceEncoding, platform::CharacterSet allowedCharacters)
    : alphabetizeKeyValuePairs(alphabetizeKeyValuePairs), arrayEncoding(std::move(arrayEncoding)),
      boolEncoding(boolEncoding), dataEncoding(std::move(dataEncoding)), dateEncoding(std::move(dateEncoding)),
      keyEncoding(std::move(keyEncoding)), keyPathEncoding(std::move(keyPathEncoding)),
      nilEncoding(std::move(nilEncoding)), spaceEncoding(spaceEncoding),
      allowedCharacters(std::move(allowedCharacters)) {}

URLEncodedFormComponent
URLEncodedFormEncoder::encodeComponentSelf(const std::function<void(platform::Encoder&)>& encodeValue) const {
    auto context = std::make_shared<URLEncodedFormContext>();
    auto options = std::make_shared<const URLEncodedFormEncodingOptions>(
        URLEncodedFormEncodingOptions{boolEncoding, dataEncoding, dateEncoding, nilEncoding});
    URLEncodedFormContainerEncoder encoder(context, {}, options);
    encodeValue(encoder);
    return context->component;
}

std::string URLEncodedFormEncoder::encodeSelf(const std::function<void(platform::Encoder&)>& encodeValue) const {
    URLEncodedFormComponent root = encodeComponentSelf(encodeValue);
    const auto* object = root.object();
    if (!object) throw platform::ErrorException(std::make_shared<Error>(root.description()));
    URLEncodedFormSerializer serializer(alphabetizeKeyValuePairs, arrayEncoding, keyEncoding, keyPathEncoding,
                                        spaceEncoding, allowedCharacters);
    return serializer.serialize(*object);
}

}  // namespace Hawser
