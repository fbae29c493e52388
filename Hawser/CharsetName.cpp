// Response charset names to text encodings.
#include "Hawser/CharsetName.h"

#include <string>

namespace Hawser {

std::optional<platform::StringEncoding> stringEncodingForIANACharsetName(std::string_view name) {
    // Only ASCII letters can make a name match a row, so ASCII lower-casing gives the
    // same answers as full Unicode lower-casing here (no non-ASCII character lower-cases
    // to a letter these names use).
    std::string key(name);
    for (auto& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    using E = platform::StringEncoding;
    if (key == "utf-8") return E::utf8();
    if (key == "iso-8859-1") return E::isoLatin1();
    if (key == "unicode-1-1" || key == "iso-10646-ucs-2" || key == "utf-16") return E::utf16();
    if (key == "utf-16be") return E::utf16BigEndian();
    if (key == "utf-16le") return E::utf16LittleEndian();
    if (key == "utf-32") return E::utf32();
    if (key == "utf-32be") return E::utf32BigEndian();
    if (key == "utf-32le") return E::utf32LittleEndian();
    return std::nullopt;
}

}  // namespace Hawser
