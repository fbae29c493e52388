// Base64 of a line's UTF-8 bytes; text that is not UTF-8 is left as it is.
#include "logging/Base64LogFormatter.h"

#include "platform/base/Data.h"

namespace Scribe {

std::string Base64LogFormatter::format(LogDetails&, std::string& message) {
    if (platform::isValidUTF8(message)) message = platform::Data::fromString(message).base64EncodedString();
    return message;
}

}  // namespace Scribe
