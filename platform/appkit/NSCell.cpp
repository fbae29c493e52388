// Cell values, text, sizes, drawing and the mouse tracking loop.
#include "platform/appkit/NSCell.h"

#include <cstdlib>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSView.h"
#include "platform/graphics/NSGraphicsContext.h"
#include "platform/graphics/TextLayout.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSCell);

std::string NSCell::stringValue() const { return hasAttributed_ ? attributed_.string() : string_; }

void NSCell::setStringValue(const std::string& s) {
    string_ = s;
    hasAttributed_ = false;
    attributed_ = NSAttributedString();
    changed();
}

NSAttributedString NSCell::attributedStringValue() const {
    if (hasAttributed_) return attributed_;
    return displayedText();
}

void NSCell::setAttributedStringValue(const NSAttributedString& s) {
    attributed_ = s;
    hasAttributed_ = true;
    string_ = s.string();
    changed();
}

double NSCell::doubleValue() const { return std::atof(stringValue().c_str()); }

void NSCell::changed() {
    if (auto v = controlView()) {
        v->setNeedsDisplay(true);
        v->invalidateIntrinsicContentSize();
    }
}

NSColorPtr NSCell::effectiveTextColor() const {
    return enabled_ ? NSColor::controlTextColor() : NSColor::disabledControlTextColor();
}

NSAttributedString NSCell::displayedText() const {
    if (hasAttributed_) return attributed_;
    Attributes a;
    a[NSFontAttributeName] = font_ ? font_ : NSFont::systemFontOfSize(NSFont::systemFontSize());
    a[NSForegroundColorAttributeName] = effectiveTextColor();
    NSParagraphStyle style;
    style.alignment = alignment_;
    style.lineBreakMode = lineBreakMode_;
    a[NSParagraphStyleAttributeName] = std::make_shared<const NSParagraphStyle>(style);
    return NSAttributedString(string_, a);
}

CGSize NSCell::cellSize() const { return cellSizeForBounds({0, 0, 1e7, 1e7}); }

CGSize NSCell::cellSizeForBounds(const CGRect& bounds) const {
    auto text = displayedText();
    double width = wraps_ ? bounds.width() : 0;
    TextLayout layout(text, width, maxLines_);
    CGRect used = layout.usedRect();
    CGSize size{std::ceil(used.maxX()), std::ceil(used.height())};
    if (image_) {
        size.width += image_->size().width;
        size.height = std::max(size.height, image_->size().height);
    }
    return size;
}

CGRect NSCell::titleRectForBounds(const CGRect& bounds) const { return bounds; }
CGRect NSCell::imageRectForBounds(const CGRect& bounds) const { return bounds; }

void NSCell::drawWithFrame(const CGRect& frame, NSView& view) { drawInteriorWithFrame(frame, view); }

void NSCell::drawInteriorWithFrame(const CGRect& frame, NSView&) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    CGRect title = titleRectForBounds(frame);
    TextLayout layout(displayedText(), wraps_ ? title.width() : title.width(), maxLines_, lineBreakMode_);
    layout.drawInRect(ctx->cgContext(), title);
}

void NSCell::highlight(bool flag, const CGRect&, NSView& view) {
    setHighlighted(flag);
    view.setNeedsDisplay(true);
}

bool NSCell::trackMouse(const NSEvent& event, const CGRect& frame, NSView& view, bool untilMouseUp) {
    CGPoint start = view.convertPointFromView(event.locationInWindow(), nullptr);
    if (!startTrackingAt(start, view)) return false;
    CGPoint last = start;
    auto app = NSApplication::shared();
    for (;;) {
        auto next = app->nextEventMatchingMask({NSEventType::leftMouseUp, NSEventType::leftMouseDragged}, 1e9);
        if (!next) {
            stopTracking(last, last, view, false);
            return false;
        }
        CGPoint p = view.convertPointFromView(next->locationInWindow(), nullptr);
        bool inside = view.mouseInRect(p, frame);
        if (next->type() == NSEventType::leftMouseUp) {
            stopTracking(last, p, view, true);
            return inside;
        }
        if (!untilMouseUp && !inside) {
            stopTracking(last, p, view, false);
            return false;
        }
        highlight(inside, frame, view);
        if (!continueTracking(last, p, view)) {
            stopTracking(last, p, view, false);
            return false;
        }
        last = p;
    }
}

}  // namespace platform
