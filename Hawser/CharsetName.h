// The text encoding a response's charset name stands for, as the string serializer
// reads it. Only the Unicode family and Latin 1 are known; everything else gives none
// so that the caller falls back to its own choice.
#pragma once
#include <optional>
#include <string_view>

#include "platform/foundation/StringEncoding.h"

namespace Hawser {

// Matched exactly after lower-casing; no trimming of spaces or quotes.
std::optional<platform::StringEncoding> stringEncodingForIANACharsetName(std::string_view name);

}  // namespace Hawser
