// The upload body's checksum over UTF-16 code units.
#include "LumenAnalyticsSDK/Core/Utils/NSString+LAHashCode.h"

#include "platform/foundation/UTF16.h"

namespace LumenAnalyticsSDK {

std::int32_t lumen_hashCode(std::string_view text) {
    std::uint32_t hash = 0;  // unsigned: the wrap-around is the intended modulo
    for (char16_t unit : platform::toUTF16(text)) hash = hash * 31u + unit;
    return static_cast<std::int32_t>(hash);
}

}  // namespace LumenAnalyticsSDK
