// Scroll view tiling and scrolling.
#include "platform/appkit/NSScrollView.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSScrollView);

void NSScrollView::ensureParts() {
    if (clip_) return;
    clip_ = std::make_shared<NSClipView>(CGRect{{0, 0}, bounds().size});
    addSubview(clip_);
    tile();
}

NSClipViewPtr NSScrollView::contentView() {
    ensureParts();
    return clip_;
}

void NSScrollView::setDocumentView(const NSViewPtr& view) {
    contentView()->setDocumentView(view);
    tile();
}

void NSScrollView::setHasVerticalScroller(bool v) {
    hasVertical_ = v;
    tile();
}
void NSScrollView::setHasHorizontalScroller(bool v) {
    hasHorizontal_ = v;
    tile();
}
void NSScrollView::setAutohidesScrollers(bool v) {
    autohides_ = v;
    tile();
}
void NSScrollView::setScrollerStyle(NSScrollerStyle s) {
    style_ = s;
    for (auto& sc : {vertical_, horizontal_})
        if (sc) sc->setScrollerStyle(s);
    tile();
}

NSScrollerPtr NSScrollView::verticalScroller() {
    if (!vertical_) setVerticalScroller(NSScroller::create({0, 0, 15, 100}));
    return vertical_;
}

void NSScrollView::registerMethods(Class& c) {
    c.addMethod("_scrollerMoved:", [](NSScrollView& view, ObjectPtr sender) { view.scrollerMoved(sender); });
}

void NSScrollView::scrollerMoved(const ObjectPtr& sender) {
    auto scroller = std::dynamic_pointer_cast<NSScroller>(sender);
    if (!scroller || !clip_) return;
    CGRect doc = clip_->documentRect();
    CGRect visible = clip_->documentVisibleRect();
    CGPoint origin = visible.origin;
    if (scroller == vertical_) origin.y = doc.minY() + scroller->doubleValue() * (doc.height() - visible.height());
    else origin.x = doc.minX() + scroller->doubleValue() * (doc.width() - visible.width());
    clip_->scrollToPoint(origin);
}

void NSScrollView::setVerticalScroller(const NSScrollerPtr& s) {
    if (vertical_) vertical_->removeFromSuperview();
    vertical_ = s;
    if (s) {
        s->setScrollerStyle(style_);
        s->setTarget(shared_from_this());
        s->setAction("_scrollerMoved:");
    }
    tile();
}

NSScrollerPtr NSScrollView::horizontalScroller() {
    if (!horizontal_) setHorizontalScroller(NSScroller::create({0, 0, 100, 15}));
    return horizontal_;
}

void NSScrollView::setHorizontalScroller(const NSScrollerPtr& s) {
    if (horizontal_) horizontal_->removeFromSuperview();
    horizontal_ = s;
    if (s) {
        s->setScrollerStyle(style_);
        s->setTarget(shared_from_this());
        s->setAction("_scrollerMoved:");
    }
    tile();
}

bool NSScrollView::needsVertical() {
    auto doc = clip_ ? clip_->documentView() : nullptr;
    return doc && doc->frame().height() > bounds().height() + 0.5;
}

void NSScrollView::tile() {
    ensureParts();
    double width = 15;
    bool showVertical = hasVertical_ && (!autohides_ || needsVertical());
    // Legacy scrollers take room from the content; overlay ones float over it.
    double reserve = showVertical && style_ == NSScrollerStyle::legacy ? width : 0;
    CGRect b = bounds();
    clip_->setFrame({0, 0, std::max(0.0, b.width() - reserve), b.height()});
    if (vertical_) {
        if (showVertical) {
            if (vertical_->superview().get() != this) addSubview(vertical_);
            vertical_->setFrame({b.width() - width, 0, width, b.height()});
        } else {
            vertical_->removeFromSuperview();
        }
    } else if (showVertical) {
        verticalScroller();
        return;
    }
    if (horizontal_ && !hasHorizontal_) horizontal_->removeFromSuperview();
    reflectScrolledClipView();
}

void NSScrollView::reflectScrolledClipView() {
    if (!clip_ || !vertical_) return;
    CGRect doc = clip_->documentRect();
    CGRect visible = clip_->documentVisibleRect();
    double range = doc.height() - visible.height();
    vertical_->setKnobProportion(doc.height() > 0 ? visible.height() / doc.height() : 1);
    vertical_->setDoubleValue(range > 0 ? (visible.minY() - doc.minY()) / range : 0);
}

void NSScrollView::scrollWheel(const NSEvent& event) {
    ensureParts();
    auto doc = clip_->documentView();
    if (!doc) return NSView::scrollWheel(event);
    CGPoint origin = clip_->bounds().origin;
    // Wheel up (positive delta) shows what is above.
    double dy = clip_->isFlipped() ? -event.scrollingDeltaY() : event.scrollingDeltaY();
    clip_->scrollToPoint({origin.x - event.scrollingDeltaX(), origin.y + dy});
    reflectScrolledClipView();
}

void NSScrollView::layout() {
    NSView::layout();
    tile();
}

void NSScrollView::frameSizeDidChange(CGSize) { tile(); }

}  // namespace platform
