// Linear gradients as a layer or as an image, for views that want a shaded background.
#pragma once
#include <vector>

#include "platform/appkit/CALayer.h"
#include "platform/graphics/NSImage.h"

namespace Lanternfly_Updater {

// Colours from `startPoint` to `endPoint` (unit coordinates of the frame), at 0 and 1.
platform::CAGradientLayerPtr gradientLayer(const std::vector<platform::NSColorPtr>& colors,
                                           const platform::CGRect& frame, platform::CGPoint startPoint,
                                           platform::CGPoint endPoint);
// The same with the colours at the given locations.
platform::CAGradientLayerPtr gradientLayer(const std::vector<platform::NSColorPtr>& colors,
                                           const platform::CGRect& frame, platform::CGPoint startPoint,
                                           platform::CGPoint endPoint, const std::vector<double>& locations);
// The gradient rendered into an image of the frame's size (times the layer's scale in pixels).
platform::NSImagePtr gradientImage(const std::vector<platform::NSColorPtr>& colors, const platform::CGRect& frame,
                                   platform::CGPoint startPoint, platform::CGPoint endPoint);

}  // namespace Lanternfly_Updater
