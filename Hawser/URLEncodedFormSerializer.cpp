// Form text from a form tree.
#include "Hawser/URLEncodedFormSerializer.h"

#include <algorithm>

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace Hawser {

namespace {

bool isASCII(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The order key of a text: its canonical composition, compared by code point (which,
// in UTF-8, is byte order). Escaped texts are ASCII unless the allowed set admits more.
std::string sortKey(const std::string& text) {
    if (isASCII(text)) return text;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;
    icu::UnicodeString normalized = nfc->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) return text;
    std::string out;
    normalized.toUTF8String(out);
    return out;
}

}  // namespace

std::string joinedWithAmpersands(const std::vector<std::string>& texts) {
    std::string out;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i) out += '&';
        out += texts[i];
    }
    return out;
}

URLEncodedFormSerializer::URLEncodedFormSerializer(bool alphabetizeKeyValuePairs,
                                                   URLEncodedFormEncoder::ArrayEncoding arrayEncoding,
                                                   URLEncodedFormEncoder::KeyEncoding keyEncoding,
                                                   URLEncodedFormEncoder::KeyPathEncoding keyPathEncoding,
                                                   URLEncodedFormEncoder::SpaceEncoding spaceEncoding,
                                                   platform::CharacterSet allowedCharacters)
    : alphabetizeKeyValuePairs(alphabetizeKeyValuePairs), arrayEncoding(std::move(arrayEncoding)),
      keyEncoding(std::move(keyEncoding)), keyPathEncoding(std::move(keyPathEncoding)), spaceEncoding(spaceEncoding),
      allowedCharacters(std::move(allowedCharacters)), allowedWithSpace_(this->allowedCharacters.inserting(" ")) {}

std::string URLEncodedFormSerializer::finish(std::vector<std::string> texts) const {
    if (alphabetizeKeyValuePairs) {
        std::vector<std::pair<std::string, std::string>> keyed;
        keyed.reserve(texts.size());
        for (auto& text : texts) keyed.emplace_back(sortKey(text), std::move(text));
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 0; i < keyed.size(); ++i) texts[i] = std::move(keyed[i].second);
    }
    return joinedWithAmpersands(texts);
}

std::string URLEncodedFormSerializer::serialize(const URLEncodedFormComponent::Object& object) const {
    std::vector<std::string> texts;
    texts.reserve(object.size());
    for (const auto& entry : object) texts.push_back(serialize(entry.value, entry.key));
    return finish(std::move(texts));
}

std::string URLEncodedFormSerializer::serialize(const URLEncodedFormComponent& component,
                                                const std::string& forKey) const {
    if (const auto* text = component.stringValue()) return escape(keyEncoding.encode(forKey)) + "=" + escape(*text);
    if (const auto* elements = component.array()) return serialize(*elements, forKey);
    return serialize(*component.object(), forKey);
}

std::string URLEncodedFormSerializer::serialize(const URLEncodedFormComponent::Object& object,
                                                const std::string& forKey) const {
    std::vector<std::string> texts;
    texts.reserve(object.size());
    for (const auto& entry : object)
        texts.push_back(serialize(entry.value, forKey + keyPathEncoding.encodeKeyPath(entry.key)));
    return finish(std::move(texts));
}

std::string URLEncodedFormSerializer::serialize(const URLEncodedFormComponent::Array& array,
                                                const std::string& forKey) const {
    std::vector<std::string> texts;
    texts.reserve(array.size());
    for (std::size_t i = 0; i < array.size(); ++i)
        texts.push_back(serialize(array[i], arrayEncoding.encode(forKey, static_cast<int>(i))));
    return finish(std::move(texts));
}

std::string URLEncodedFormSerializer::escape(const std::string& text) const {
    std::string escaped = platform::addingPercentEncoding(text, allowedWithSpace_);
    const char* space = spaceEncoding == URLEncodedFormEncoder::SpaceEncoding::plusReplaced ? "+" : "%20";
    std::string out;
    out.reserve(escaped.size());
    for (char c : escaped) {
        if (c == ' ') out += space;
        else out += c;
    }
    return out;
}

}  // namespace Hawser
