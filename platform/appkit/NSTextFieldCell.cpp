// Text field cell geometry and drawing.
#include "platform/appkit/NSTextFieldCell.h"

#include <cmath>

#include "platform/appkit/NSTextView.h"
#include "platform/graphics/NSGraphicsContext.h"
#include "platform/graphics/TextLayout.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSTextFieldCell);

namespace {
// Room around the text: a little on the sides always, more inside a bezel.
CGSize inset(const NSCell& cell) { return cell.isBezeled() || cell.isBordered() ? CGSize{4, 3} : CGSize{2, 0}; }
}  // namespace

NSColorPtr NSTextFieldCell::effectiveTextColor() const {
    if (!isEnabled()) return NSColor::disabledControlTextColor();
    return textColor_ ? textColor_ : NSColor::controlTextColor();
}

CGRect NSTextFieldCell::titleRectForBounds(const CGRect& b) const {
    CGSize i = inset(*this);
    return {b.minX() + i.width, b.minY() + i.height, std::max(0.0, b.width() - 2 * i.width),
            std::max(0.0, b.height() - 2 * i.height)};
}

CGSize NSTextFieldCell::cellSizeForBounds(const CGRect& bounds) const {
    CGSize i = inset(*this);
    auto text = displayedText();
    if (text.empty()) {
        auto f = font() ? font() : NSFont::systemFontOfSize(NSFont::systemFontSize());
        return {2 * i.width, std::ceil(f->lineHeight()) + 2 * i.height};
    }
    double width = wraps_ || maxLines_ != 1 ? std::max(0.0, bounds.width() - 2 * i.width) : 0;
    if (bounds.width() >= 1e6) width = 0;
    TextLayout layout(text, width, maxLines_, lineBreakMode_);
    CGRect used = layout.usedRect();
    return {std::ceil(used.maxX()) + 2 * i.width, std::ceil(used.height()) + 2 * i.height};
}

void NSTextFieldCell::drawWithFrame(const CGRect& frame, NSView& view) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    auto& cg = ctx->cgContext();
    if (drawsBackground_ && backgroundColor_) {
        cg.saveGState();
        cg.setFillColor(backgroundColor_->cgColor());
        cg.fillRect(frame);
        cg.restoreGState();
    }
    if (isBezeled() || isBordered()) {
        cg.saveGState();
        cg.setStrokeColor({0.68, 0.68, 0.68, 1});
        cg.setLineWidth(1);
        cg.strokeRect(frame.insetBy(0.5, 0.5));
        cg.restoreGState();
    }
    drawInteriorWithFrame(frame, view);
}

void NSTextFieldCell::drawInteriorWithFrame(const CGRect& frame, NSView&) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx || !showsText_) return;
    CGRect title = titleRectForBounds(frame);
    NSAttributedString text = displayedText();
    if (text.empty() && !placeholder_.empty()) {
        text = NSAttributedString(placeholder_, {{NSFontAttributeName, font() ? font() : NSFont::systemFontOfSize(13)},
                                                 {NSForegroundColorAttributeName, NSColor::secondaryLabelColor()}});
    }
    if (text.empty()) return;
    bool wrap = wraps_ || maxLines_ != 1;
    TextLayout layout(text, wrap ? title.width() : 0, maxLines_, lineBreakMode_);
    auto& cg = ctx->cgContext();
    cg.saveGState();
    cg.clipToRect(frame);
    // Unwrapped text still honours its alignment within the title rectangle.
    CGRect used = layout.usedRect();
    double x = title.minX();
    if (!wrap) {
        NSTextAlignment a = alignment_;
        if (auto* p = std::get_if<NSParagraphStylePtr>(&text.attributesAt(0)[NSParagraphStyleAttributeName]); p && *p)
            a = (*p)->alignment;
        if (a == NSTextAlignment::center) x += (title.width() - used.width()) / 2;
        else if (a == NSTextAlignment::right) x += title.width() - used.width();
    }
    layout.drawInRect(cg,
                      {x, title.minY(), wrap ? title.width() : used.width(), std::max(title.height(), used.height())});
    cg.restoreGState();
}

void NSTextFieldCell::selectWithFrame(const CGRect& frame, NSView&, NSTextView& editor, const ObjectPtr&,
                                      std::size_t start, std::size_t length) {
    editor.setFrame(titleRectForBounds(frame));
    editor.setSelectedRange({start, length});
}

void NSTextFieldCell::editWithFrame(const CGRect& frame, NSView& view, NSTextView& editor, const ObjectPtr& delegate) {
    selectWithFrame(frame, view, editor, delegate, editor.string().size(), 0);
}

}  // namespace platform
