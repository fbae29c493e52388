// Scroll bars: a knob in a slot, sized by the visible proportion and placed by the
// scroll position. Subclasses may draw the slot and the knob themselves.
#pragma once
#include "platform/appkit/NSControl.h"

namespace platform {

enum class NSScrollerStyle : int { legacy = 0, overlay = 1 };
enum class NSScrollerPart : int { noPart = 0, decrementPage = 1, knob = 2, incrementPage = 3, knobSlot = 6 };
enum class NSControlSize : int { regular = 0, small = 1, mini = 2 };

class NSScroller : public NSControl {
    PLATFORM_OBJECT(NSScroller, NSControl)
public:
    explicit NSScroller(CGRect frame = CGRectZero) : NSControl(frame) {}
    static std::shared_ptr<NSScroller> create(CGRect frame = CGRectZero) { return std::make_shared<NSScroller>(frame); }
    static CGFloat scrollerWidthForControlSize(NSControlSize size, NSScrollerStyle style);

    CGFloat knobProportion() const { return proportion_; }
    void setKnobProportion(CGFloat p);
    double doubleValue() const { return value_; }
    void setDoubleValue(double v);
    NSScrollerStyle scrollerStyle() const { return style_; }
    void setScrollerStyle(NSScrollerStyle s) {
        style_ = s;
        setNeedsDisplay(true);
    }
    bool isVertical() const { return frame().height() >= frame().width(); }

    virtual CGRect rectForPart(NSScrollerPart part) const;
    virtual void drawKnob();
    virtual void drawKnobSlotInRect(const CGRect& slot, bool highlight);
    void draw(const CGRect& dirtyRect) override;
    // Drags the knob (a press in the slot first moves the knob there), sending the
    // action on every change.
    void mouseDown(const NSEvent& event) override;
    NSScrollerPart hitPart() const { return hitPart_; }
    CGSize intrinsicContentSize() const override { return {NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric}; }

private:
    CGFloat proportion_ = 1;
    double value_ = 0;
    NSScrollerStyle style_ = NSScrollerStyle::legacy;
    NSScrollerPart hitPart_ = NSScrollerPart::noPart;
};
using NSScrollerPtr = std::shared_ptr<NSScroller>;

}  // namespace platform
