// Scroll views: a clip view showing part of a document view, with optional scrollers
// (replaceable, for custom drawing) that hide when everything is visible.
#pragma once
#include "platform/appkit/NSClipView.h"
#include "platform/appkit/NSScroller.h"

namespace platform {

class NSScrollView : public NSView {
    PLATFORM_OBJECT(NSScrollView, NSView)
public:
    explicit NSScrollView(CGRect frame = CGRectZero) : NSView(frame) {}
    static std::shared_ptr<NSScrollView> create(CGRect frame = CGRectZero) {
        return std::make_shared<NSScrollView>(frame);
    }

    NSClipViewPtr contentView();
    NSViewPtr documentView() { return contentView()->documentView(); }
    void setDocumentView(const NSViewPtr& view);
    bool hasVerticalScroller() const { return hasVertical_; }
    void setHasVerticalScroller(bool v);
    bool hasHorizontalScroller() const { return hasHorizontal_; }
    void setHasHorizontalScroller(bool v);
    bool autohidesScrollers() const { return autohides_; }
    void setAutohidesScrollers(bool v);
    NSScrollerStyle scrollerStyle() const { return style_; }
    void setScrollerStyle(NSScrollerStyle s);
    NSScrollerPtr verticalScroller();
    void setVerticalScroller(const NSScrollerPtr& s);
    NSScrollerPtr horizontalScroller();
    void setHorizontalScroller(const NSScrollerPtr& s);
    bool drawsBackground() { return contentView()->drawsBackground(); }
    void setDrawsBackground(bool d) { contentView()->setDrawsBackground(d); }
    NSColorPtr backgroundColor() { return contentView()->backgroundColor(); }
    void setBackgroundColor(const NSColorPtr& c) { contentView()->setBackgroundColor(c); }
    CGSize contentSize() { return contentView()->frame().size; }

    // Places the clip view and the scrollers.
    virtual void tile();
    // Brings the scrollers in line with the clip view's position.
    void reflectScrolledClipView();
    void scrollWheel(const NSEvent& event) override;
    // The scrollers' action: scrolls the clip view to the scroller's position.
    void scrollerMoved(const ObjectPtr& sender);
    static void registerMethods(Class& c);
    void layout() override;
    bool mouseDownCanMoveWindow() const override { return false; }

protected:
    void frameSizeDidChange(CGSize oldSize) override;

private:
    void ensureParts();
    bool needsVertical();
    NSClipViewPtr clip_;
    NSScrollerPtr vertical_, horizontal_;
    bool hasVertical_ = false, hasHorizontal_ = false, autohides_ = false;
    NSScrollerStyle style_ = NSScrollerStyle::overlay;
};
using NSScrollViewPtr = std::shared_ptr<NSScrollView>;

}  // namespace platform
