// The main screen's size, for code that reports it: the X display's first screen when a
// display is reachable, none otherwise.
#pragma once
#include <optional>

#include "platform/graphics/Geometry.h"

namespace platform {

class NSScreen {
public:
    // The main screen's frame in points (origin 0, 0); none without a display.
    static std::optional<CGRect> mainScreenFrame();
};

}  // namespace platform
