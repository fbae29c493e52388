// Flat scroller drawing.
#include "updater/View/CustomScroller.h"

#include "platform/graphics/NSGraphicsContext.h"
#include "updater/View/Assets.h"
#include "updater/View/HexColor.h"

namespace Lanternfly_Updater {

using namespace platform;

CustomScroller::CustomScroller(CGRect frame)
    : NSScroller(CGRectZero), _bkgColor(Asset::N500()), _knobColor(colorWithHexString("a8a8a8")) {
    // Through our own setFrame so that the direction follows the first frame too.
    setFrame(frame);
}

void CustomScroller::setFrame(const CGRect& frame) {
    NSScroller::setFrame(frame);
    isHorizontal = frame.width() > frame.height();
}

void CustomScroller::draw(const CGRect& dirtyRect) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (ctx) {
        auto& cg = ctx->cgContext();
        cg.saveGState();
        if (ctx->compositingOperation() == NSCompositingOperation::copy) cg.setBlendMode(CGBlendMode::copy);
        cg.setFillColor(_bkgColor->cgColor());
        cg.fillRect(dirtyRect);
        cg.restoreGState();
    }
    drawKnob();
}

CGRect CustomScroller::knobRect() const {
    CGRect knob = rectForPart(NSScrollerPart::knob);
    return isHorizontal ? knob.insetBy(0, 3) : knob.insetBy(3, 0);
}

void CustomScroller::drawKnob() {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    auto& cg = ctx->cgContext();
    cg.saveGState();
    cg.setFillColor(_knobColor->cgColor());
    cg.fillPath(CGPath::roundedRectangle(knobRect(), 3, 3));
    cg.restoreGState();
}

}  // namespace Lanternfly_Updater
