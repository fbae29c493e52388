// Levels of the client's network logging.
#include "TallockSDK/TallockConfig.h"

namespace TallockSDK {

std::optional<DebugLevel> debugLevel(int rawValue) {
    if (rawValue < 0 || rawValue > 3) return std::nullopt;
    return static_cast<DebugLevel>(rawValue);
}

}  // namespace TallockSDK
