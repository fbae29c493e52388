// The one hexadecimal encoder.
#include "platform/base/Hex.h"

namespace platform {

void appendHex(std::string& out, unsigned char byte, HexCase letters) {
    const char* digits = letters == HexCase::lower ? "0123456789abcdef" : "0123456789ABCDEF";
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0xF]);
}

std::string hexEncoded(const void* bytes, std::size_t count, HexCase letters) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::string out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) appendHex(out, data[i], letters);
    return out;
}

}  // namespace platform
