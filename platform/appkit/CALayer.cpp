// Drawing a layer's background, contents and border.
#include "platform/appkit/CALayer.h"

#include <algorithm>

namespace platform {

void CALayer::drawBackground(CGContext& context, const CGRect& rect) const {
    CGPath shape = CGPath::roundedRectangle(rect, cornerRadius, cornerRadius);
    if (backgroundColor && backgroundColor->alpha > 0) {
        context.saveGState();
        context.setFillColor(*backgroundColor);
        context.fillPath(shape);
        context.restoreGState();
    }
    if (contents && contents->isValid()) {
        CGSize s = contents->size();
        CGRect target = rect;
        if (s.width > 0 && s.height > 0) {
            double sx = rect.width() / s.width, sy = rect.height() / s.height;
            if (contentsGravity == kCAGravityResizeAspectFill || contentsGravity == kCAGravityResizeAspect) {
                double k = contentsGravity == kCAGravityResizeAspectFill ? std::max(sx, sy) : std::min(sx, sy);
                target = {rect.midX() - s.width * k / 2, rect.midY() - s.height * k / 2, s.width * k, s.height * k};
            } else if (contentsGravity == kCAGravityCenter) {
                target = {rect.midX() - s.width / 2, rect.midY() - s.height / 2, s.width, s.height};
            }
        }
        context.saveGState();
        context.clipToPath(shape);
        contents->drawInContext(context, target);
        context.restoreGState();
    }
}

void CALayer::drawBorder(CGContext& context, const CGRect& rect) const {
    if (borderWidth <= 0 || !borderColor) return;
    context.saveGState();
    context.setStrokeColor(*borderColor);
    context.setLineWidth(borderWidth);
    // The border lies inside the bounds.
    double inset = borderWidth / 2;
    context.strokePath(CGPath::roundedRectangle(rect.insetBy(inset, inset), std::max(0.0, cornerRadius - inset),
                                                std::max(0.0, cornerRadius - inset)));
    context.restoreGState();
}

void CALayer::renderInContext(CGContext& context) const {
    drawBackground(context, bounds_);
    drawBorder(context, bounds_);
}

void CAGradientLayer::drawBackground(CGContext& context, const CGRect& rect) const {
    CALayer::drawBackground(context, rect);
    if (colors.size() >= 2) {
        cairo_pattern_t* gradient = cairo_pattern_create_linear(
            rect.minX() + startPoint.x * rect.width(), rect.minY() + startPoint.y * rect.height(),
            rect.minX() + endPoint.x * rect.width(), rect.minY() + endPoint.y * rect.height());
        for (std::size_t i = 0; i < colors.size(); ++i) {
            // Missing locations spread the colours evenly.
            double at = i < locations.size() ? locations[i] : double(i) / double(colors.size() - 1);
            const CGColor& c = colors[i];
            cairo_pattern_add_color_stop_rgba(gradient, std::clamp(at, 0.0, 1.0), c.red, c.green, c.blue,
                                              c.alpha * context.alpha());
        }
        cairo_t* cr = context.cairo();
        cairo_save(cr);
        context.clipToPath(CGPath::roundedRectangle(rect, cornerRadius, cornerRadius));
        cairo_set_source(cr, gradient);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_pattern_destroy(gradient);
    } else if (colors.size() == 1) {
        context.saveGState();
        context.setFillColor(colors[0]);
        context.fillPath(CGPath::roundedRectangle(rect, cornerRadius, cornerRadius));
        context.restoreGState();
    }
}

}  // namespace platform
