// Writes a form tree as application/x-www-form-urlencoded text: the order of the pairs,
// the spelling of nested keys, key transformation and percent-escaping.
#pragma once
#include <string>
#include <vector>

#include "Hawser/URLEncodedFormEncoder.h"

namespace Hawser {

class URLEncodedFormSerializer {
public:
    URLEncodedFormSerializer(bool alphabetizeKeyValuePairs, URLEncodedFormEncoder::ArrayEncoding arrayEncoding,
                             URLEncodedFormEncoder::KeyEncoding keyEncoding,
                             URLEncodedFormEncoder::KeyPathEncoding keyPathEncoding,
                             URLEncodedFormEncoder::SpaceEncoding spaceEncoding,
                             platform::CharacterSet allowedCharacters);

    const bool alphabetizeKeyValuePairs;
    const URLEncodedFormEncoder::ArrayEncoding arrayEncoding;
    const URLEncodedFormEncoder::KeyEncoding keyEncoding;
    const URLEncodedFormEncoder::KeyPathEncoding keyPathEncoding;
    const URLEncodedFormEncoder::SpaceEncoding spaceEncoding;
    const platform::CharacterSet allowedCharacters;

    // The whole text of the root object; its keys get no key-path suffix.
    std::string serialize(const URLEncodedFormComponent::Object& object) const;
    std::string serialize(const URLEncodedFormComponent& component, const std::string& forKey) const;
    std::string serialize(const URLEncodedFormComponent::Object& object, const std::string& forKey) const;
    std::string serialize(const URLEncodedFormComponent::Array& array, const std::string& forKey) const;
    // Percent-escapes against the allowed set (plus space), then writes spaces as the
    // space option says. Byte-wise: it cannot fail.
    std::string escape(const std::string& text) const;

private:
    std::string finish(std::vector<std::string> texts) const;
    platform::CharacterSet allowedWithSpace_;
};

std::string joinedWithAmpersands(const std::vector<std::string>& texts);

}  // namespace Hawser
