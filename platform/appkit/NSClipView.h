// The visible part of a scroll view's document: scrolling moves its bounds origin.
#pragma once
#include "platform/appkit/NSView.h"

namespace platform {

class NSClipView : public NSView {
    PLATFORM_OBJECT(NSClipView, NSView)
public:
    explicit NSClipView(CGRect frame = CGRectZero) : NSView(frame) { setAutoresizesSubviews(true); }

    NSViewPtr documentView() const { return document_; }
    void setDocumentView(const NSViewPtr& view);
    // Scrolls so that `point` of the document is at the top-left, within the document.
    void scrollToPoint(CGPoint point);
    CGPoint constrainScrollPoint(CGPoint point) const;
    CGRect documentRect() const;
    CGRect documentVisibleRect() const { return bounds(); }
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool d) {
        drawsBackground_ = d;
        setNeedsDisplay(true);
    }
    NSColorPtr backgroundColor() const { return background_; }
    void setBackgroundColor(const NSColorPtr& c) {
        background_ = c;
        setNeedsDisplay(true);
    }

    bool isFlipped() const override { return document_ ? document_->isFlipped() : true; }
    bool clipsToBounds() const override { return true; }
    void draw(const CGRect& dirtyRect) override;

private:
    NSViewPtr document_;
    bool drawsBackground_ = true;
    NSColorPtr background_ = NSColor::textBackgroundColor();
};
using NSClipViewPtr = std::shared_ptr<NSClipView>;

}  // namespace platform
