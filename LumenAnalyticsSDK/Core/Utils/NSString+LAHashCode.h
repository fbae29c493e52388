// The upload body's checksum: a 32-bit h × 31 + c hash over a text's UTF-16 code units,
// as the collector recomputes it over the batch text it receives.
#pragma once
#include <cstdint>
#include <string_view>

namespace LumenAnalyticsSDK {

// Starts at 0; for each UTF-16 unit c: h = h × 31 + c modulo 2^32; read as signed.
// "abc" gives 96354, the empty text 0.
std::int32_t lumen_hashCode(std::string_view text);

}  // namespace LumenAnalyticsSDK
