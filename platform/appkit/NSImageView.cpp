// Image view sizing and drawing.
#include "platform/appkit/NSImageView.h"

#include <algorithm>

#include "platform/graphics/NSGraphicsContext.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSImageView);

std::shared_ptr<NSImageView> NSImageView::imageViewWithImage(const NSImagePtr& image) {
    auto v = std::make_shared<NSImageView>();
    v->setImage(image);
    if (image) v->setFrameSize(image->size());
    return v;
}

void NSImageView::setImage(const NSImagePtr& image) {
    image_ = image;
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
}

CGSize NSImageView::intrinsicContentSize() const {
    if (!image_) return {NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric};
    return image_->size();
}

void NSImageView::draw(const CGRect&) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx || !image_) return;
    CGRect b = bounds();
    CGSize s = image_->size();
    CGRect target = b;
    if (scaling_ != NSImageScaling::axesIndependently && s.width > 0 && s.height > 0) {
        double k = std::min(b.width() / s.width, b.height() / s.height);
        if (scaling_ == NSImageScaling::proportionallyDown) k = std::min(k, 1.0);
        if (scaling_ == NSImageScaling::none) k = 1;
        target = {b.midX() - s.width * k / 2, b.midY() - s.height * k / 2, s.width * k, s.height * k};
    }
    image_->drawInContext(ctx->cgContext(), target, isEnabled() ? 1.0 : 0.5);
}

}  // namespace platform
