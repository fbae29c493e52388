// Clip view scrolling.
#include "platform/appkit/NSClipView.h"

#include <algorithm>

#include "platform/graphics/NSGraphicsContext.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSClipView);

void NSClipView::setDocumentView(const NSViewPtr& view) {
    if (document_ == view) return;
    if (document_) document_->removeFromSuperview();
    document_ = view;
    if (view) addSubview(view);
    setBoundsOrigin({0, 0});
}

CGRect NSClipView::documentRect() const {
    if (!document_) return bounds();
    return document_->frame().unionWith({document_->frame().origin, bounds().size});
}

CGPoint NSClipView::constrainScrollPoint(CGPoint p) const {
    CGRect doc = documentRect();
    double maxX = std::max(doc.minX(), doc.maxX() - bounds().width());
    double maxY = std::max(doc.minY(), doc.maxY() - bounds().height());
    return {std::clamp(p.x, doc.minX(), maxX), std::clamp(p.y, doc.minY(), maxY)};
}

void NSClipView::scrollToPoint(CGPoint point) { setBoundsOrigin(constrainScrollPoint(point)); }

void NSClipView::draw(const CGRect&) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx || !drawsBackground_ || !background_) return;
    ctx->cgContext().saveGState();
    ctx->cgContext().setFillColor(background_->cgColor());
    ctx->cgContext().fillRect(bounds());
    ctx->cgContext().restoreGState();
}

}  // namespace platform
