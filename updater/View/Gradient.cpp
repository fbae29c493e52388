// Gradient layers and images.
#include "updater/View/Gradient.h"

#include <cmath>

namespace Lanternfly_Updater {

using namespace platform;

CAGradientLayerPtr gradientLayer(const std::vector<NSColorPtr>& colors, const CGRect& frame, CGPoint startPoint,
                                 CGPoint endPoint) {
    return gradientLayer(colors, frame, startPoint, endPoint, {0.0, 1.0});
}

CAGradientLayerPtr gradientLayer(const std::vector<NSColorPtr>& colors, const CGRect& frame, CGPoint startPoint,
                                 CGPoint endPoint, const std::vector<double>& locations) {
    auto layer = std::make_shared<CAGradientLayer>();
    layer->setFrame(frame);
    layer->startPoint = startPoint;
    layer->endPoint = endPoint;
    layer->locations = locations;
    for (const auto& color : colors) layer->colors.push_back(color->cgColor());
    return layer;
}

NSImagePtr gradientImage(const std::vector<NSColorPtr>& colors, const CGRect& frame, CGPoint startPoint,
                         CGPoint endPoint) {
    auto layer = gradientLayer(colors, frame, startPoint, endPoint);
    int width = static_cast<int>(frame.width() * layer->contentsScale);
    int height = static_cast<int>(frame.height() * layer->contentsScale);
    auto image =
        NSImage::imageWithSize({static_cast<CGFloat>(std::max(width, 1)), static_cast<CGFloat>(std::max(height, 1))});
    cairo_t* cr = cairo_create(image->surface());
    {
        CGContext context(cr);
        context.scaleBy(layer->contentsScale, layer->contentsScale);
        layer->renderInContext(context);
    }
    cairo_destroy(cr);
    cairo_surface_mark_dirty(image->surface());
    image->setSize(frame.size);
    return image;
}

}  // namespace Lanternfly_Updater
