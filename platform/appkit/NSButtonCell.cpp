// Button cell geometry and drawing: bezel, background, image and centred title.
#include "platform/appkit/NSButtonCell.h"

#include <cmath>

#include "platform/appkit/NSView.h"
#include "platform/graphics/NSGraphicsContext.h"
#include "platform/graphics/TextLayout.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSButtonCell);

namespace {
constexpr double bezelPadX = 12, bezelPadY = 3, imageGap = 2;
}

NSColorPtr NSButtonCell::effectiveTextColor() const {
    return isEnabled() ? NSColor::controlTextColor() : NSColor::disabledControlTextColor();
}

CGSize NSButtonCell::cellSizeForBounds(const CGRect&) const {
    auto title = displayedText();
    CGSize t{0, 0};
    if (!title.empty()) {
        TextLayout layout(title, 0);
        CGRect used = layout.usedRect();
        t = {std::ceil(used.maxX()), std::ceil(used.height())};
    }
    CGSize i = image_ ? image_->size() : CGSize{0, 0};
    CGSize s = t;
    switch (imagePosition_) {
        case NSImagePosition::noImage: break;
        case NSImagePosition::imageOnly: s = i; break;
        case NSImagePosition::imageOverlaps: s = {std::max(t.width, i.width), std::max(t.height, i.height)}; break;
        case NSImagePosition::imageAbove:
        case NSImagePosition::imageBelow: s = {std::max(t.width, i.width), t.height + i.height + imageGap}; break;
        default:
            s = {t.width + i.width + (t.width > 0 && i.width > 0 ? imageGap : 0), std::max(t.height, i.height)};
            break;
    }
    if (isBordered()) s = {s.width + 2 * bezelPadX, std::max(s.height + 2 * bezelPadY, 21.0)};
    return s;
}

CGRect NSButtonCell::imageRectForBounds(const CGRect& b) const {
    CGRect inner = isBordered() ? b.insetBy(bezelPadX, bezelPadY) : b;
    if (!image_ || imagePosition_ == NSImagePosition::noImage) return CGRectZero;
    CGSize i = image_->size();
    double cy = inner.minY() + (inner.height() - i.height) / 2;
    double cx = inner.minX() + (inner.width() - i.width) / 2;
    switch (imagePosition_) {
        case NSImagePosition::imageLeft:
        case NSImagePosition::imageLeading: return {inner.minX(), cy, i.width, i.height};
        case NSImagePosition::imageRight:
        case NSImagePosition::imageTrailing: return {inner.maxX() - i.width, cy, i.width, i.height};
        case NSImagePosition::imageAbove: return {cx, inner.minY(), i.width, i.height};  // flipped: top first
        case NSImagePosition::imageBelow: return {cx, inner.maxY() - i.height, i.width, i.height};
        default: return {cx, cy, i.width, i.height};
    }
}

CGRect NSButtonCell::titleRectForBounds(const CGRect& b) const {
    CGRect inner = isBordered() ? b.insetBy(bezelPadX, bezelPadY) : b;
    if (!image_) return inner;
    CGSize i = image_->size();
    switch (imagePosition_) {
        case NSImagePosition::imageLeft:
        case NSImagePosition::imageLeading:
            return {inner.minX() + i.width + imageGap, inner.minY(), inner.width() - i.width - imageGap,
                    inner.height()};
        case NSImagePosition::imageRight:
        case NSImagePosition::imageTrailing:
            return {inner.minX(), inner.minY(), inner.width() - i.width - imageGap, inner.height()};
        case NSImagePosition::imageAbove:
            return {inner.minX(), inner.minY() + i.height + imageGap, inner.width(),
                    inner.height() - i.height - imageGap};
        case NSImagePosition::imageBelow:
            return {inner.minX(), inner.minY(), inner.width(), inner.height() - i.height - imageGap};
        case NSImagePosition::imageOnly: return CGRectZero;
        default: return inner;
    }
}

void NSButtonCell::drawBezelWithFrame(const CGRect& frame, NSView&) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    auto& cg = ctx->cgContext();
    CGRect r = frame.insetBy(1.5, 1.5);
    cg.saveGState();
    cg.setFillColor(isHighlighted() ? CGColor{0.82, 0.82, 0.82, 1} : CGColor{1, 1, 1, 1});
    cg.fillPath(CGPath::roundedRectangle(r, 5, 5));
    cg.setStrokeColor({0.7, 0.7, 0.7, 1});
    cg.setLineWidth(1);
    cg.strokePath(CGPath::roundedRectangle(r, 5, 5));
    cg.restoreGState();
}

void NSButtonCell::drawWithFrame(const CGRect& frame, NSView& view) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (ctx && background_) {
        ctx->cgContext().saveGState();
        ctx->cgContext().setFillColor(background_->cgColor());
        ctx->cgContext().fillRect(frame);
        ctx->cgContext().restoreGState();
    }
    if (isBordered()) drawBezelWithFrame(frame, view);
    drawInteriorWithFrame(frame, view);
}

void NSButtonCell::drawImage(const NSImagePtr& image, const CGRect& frame, NSView&) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx || !image) return;
    double fraction = !isEnabled() && imageDims_ ? 0.5 : 1.0;
    image->drawInContext(ctx->cgContext(), frame, fraction);
}

CGRect NSButtonCell::drawTitle(const NSAttributedString& title, const CGRect& frame, NSView&) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx || title.empty()) return CGRectZero;
    NSAttributedString text = title;
    // Button titles are centred unless their paragraph style says otherwise.
    bool styled = false;
    text.enumerateAttribute(
        NSParagraphStyleAttributeName, text.fullRange(), [&](const AttributeValue& v, NSRange, bool&) {
            if (auto* p = std::get_if<NSParagraphStylePtr>(&v); p && *p && (*p)->alignment != NSTextAlignment::natural)
                styled = true;
        });
    if (!styled)
        text.setAlignment(alignment_ == NSTextAlignment::natural ? NSTextAlignment::center : alignment_,
                          text.fullRange());
    TextLayout layout(text, frame.width(), 1, NSLineBreakMode::byTruncatingTail);
    double h = layout.usedRect().height();
    CGRect r{frame.minX(), frame.minY() + (frame.height() - h) / 2, frame.width(), h};
    auto& cg = ctx->cgContext();
    cg.saveGState();
    if (!isEnabled() && !hasAttributed_) cg.setAlpha(cg.alpha());
    layout.drawInRect(cg, r);
    cg.restoreGState();
    return r;
}

void NSButtonCell::drawInteriorWithFrame(const CGRect& frame, NSView& view) {
    NSImagePtr shownImage =
        isHighlighted() && alternateImage_ && type_ == NSButtonType::momentaryChange ? alternateImage_ : image_;
    if (shownImage && imagePosition_ != NSImagePosition::noImage)
        drawImage(shownImage, imageRectForBounds(frame), view);
    if (imagePosition_ != NSImagePosition::imageOnly) drawTitle(attributedTitle(), titleRectForBounds(frame), view);
}

}  // namespace platform
