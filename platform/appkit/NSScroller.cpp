// Scroller geometry and default drawing.
#include "platform/appkit/NSScroller.h"

#include <algorithm>

#include "platform/appkit/NSApplication.h"
#include "platform/graphics/NSGraphicsContext.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSScroller);

CGFloat NSScroller::scrollerWidthForControlSize(NSControlSize size, NSScrollerStyle) {
    return size == NSControlSize::regular ? 15 : size == NSControlSize::small ? 11 : 9;
}

void NSScroller::setKnobProportion(CGFloat p) {
    proportion_ = std::clamp(p, 0.0, 1.0);
    setNeedsDisplay(true);
}

void NSScroller::setDoubleValue(double v) {
    value_ = std::clamp(v, 0.0, 1.0);
    setNeedsDisplay(true);
}

CGRect NSScroller::rectForPart(NSScrollerPart part) const {
    CGRect slot = bounds();
    if (part == NSScrollerPart::knobSlot) return slot;
    if (part != NSScrollerPart::knob) return CGRectZero;
    bool vertical = isVertical();
    double length = vertical ? slot.height() : slot.width();
    double knob = std::min(length, std::max(18.0, length * proportion_));
    double offset = (length - knob) * value_;
    // Scrollers are flipped: offset 0 is the top (or the left).
    return vertical ? CGRect{slot.minX(), slot.minY() + offset, slot.width(), knob}
                    : CGRect{slot.minX() + offset, slot.minY(), knob, slot.height()};
}

void NSScroller::drawKnobSlotInRect(const CGRect& slot, bool) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx || style_ == NSScrollerStyle::overlay) return;
    ctx->cgContext().saveGState();
    ctx->cgContext().setFillColor({0.98, 0.98, 0.98, 1});
    ctx->cgContext().fillRect(slot);
    ctx->cgContext().restoreGState();
}

void NSScroller::drawKnob() {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx || proportion_ >= 1) return;
    CGRect knob = rectForPart(NSScrollerPart::knob).insetBy(3, 3);
    double r = std::min(knob.width(), knob.height()) / 2;
    ctx->cgContext().saveGState();
    ctx->cgContext().setFillColor({0, 0, 0, 0.35});
    ctx->cgContext().fillPath(CGPath::roundedRectangle(knob, r, r));
    ctx->cgContext().restoreGState();
}

void NSScroller::mouseDown(const NSEvent& event) {
    if (!isEnabled() || proportion_ >= 1) return;
    bool vertical = isVertical();
    auto along = [vertical](CGPoint p) { return vertical ? p.y : p.x; };
    CGRect knob = rectForPart(NSScrollerPart::knob);
    double knobLength = vertical ? knob.height() : knob.width();
    double travel = (vertical ? bounds().height() : bounds().width()) - knobLength;
    if (travel <= 0) return;
    auto keep = self();
    CGPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    double grab;
    if (knob.contains(p)) {
        hitPart_ = NSScrollerPart::knob;
        grab = along(p) - along(knob.origin);
    } else {
        // A press in the slot brings the knob's middle there.
        hitPart_ = along(p) < along(knob.origin) ? NSScrollerPart::decrementPage : NSScrollerPart::incrementPage;
        grab = knobLength / 2;
        setDoubleValue((along(p) - grab) / travel);
        sendAction(action(), target());
        hitPart_ = NSScrollerPart::knob;
    }
    auto app = NSApplication::shared();
    while (auto next = app->nextEventMatchingMask({NSEventType::leftMouseDragged, NSEventType::leftMouseUp}, 1e9)) {
        if (next->type() == NSEventType::leftMouseUp) break;
        setDoubleValue((along(convertPointFromView(next->locationInWindow(), nullptr)) - grab) / travel);
        sendAction(action(), target());
    }
    hitPart_ = NSScrollerPart::noPart;
}

void NSScroller::draw(const CGRect&) {
    drawKnobSlotInRect(rectForPart(NSScrollerPart::knobSlot), false);
    drawKnob();
}

}  // namespace platform
