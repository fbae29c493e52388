// Colours written as six hexadecimal digits ("a8a8a8", "#A8A8A8", "0xa8a8a8").
#pragma once
#include <string>

#include "platform/graphics/NSColor.h"

namespace Lanternfly_Updater {

// Opaque for six digits after an optional "0X" then "#" prefix; clear for anything
// shorter or longer. A pair that is not hexadecimal counts as 0.
platform::NSColorPtr colorWithHexString(const std::string& hexString);

}  // namespace Lanternfly_Updater
