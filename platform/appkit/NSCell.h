// Cells: the drawing and mouse-tracking part of a control, holding its value, title,
// font, alignment, enabled and highlighted state, target and action.
#pragma once
#include <memory>
#include <string>

#include "platform/appkit/NSEvent.h"
#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/NSImage.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace platform {

class NSView;

enum class NSControlStateValue : int { mixed = -1, off = 0, on = 1 };
enum class NSFocusRingType : int { defaultType = 0, none = 1, exterior = 2 };
enum class NSCellImagePosition : int {
    noImage = 0,
    imageOnly = 1,
    imageLeft = 2,
    imageRight = 3,
    imageBelow = 4,
    imageAbove = 5,
    imageOverlaps = 6,
    imageLeading = 7,
    imageTrailing = 8,
};
using NSImagePosition = NSCellImagePosition;

class NSCell : public Object {
    PLATFORM_OBJECT(NSCell, Object)
public:
    NSCell() = default;
    explicit NSCell(const std::string& text) : string_(text) {}
    static std::shared_ptr<NSCell> initTextCell(const std::string& text) { return std::make_shared<NSCell>(text); }

    virtual std::string stringValue() const;
    virtual void setStringValue(const std::string& s);
    virtual NSAttributedString attributedStringValue() const;
    virtual void setAttributedStringValue(const NSAttributedString& s);
    std::string title() const { return stringValue(); }
    void setTitle(const std::string& s) { setStringValue(s); }
    double doubleValue() const;

    NSFontPtr font() const { return font_; }
    virtual void setFont(const NSFontPtr& f) {
        font_ = f;
        changed();
    }
    NSTextAlignment alignment() const { return alignment_; }
    void setAlignment(NSTextAlignment a) {
        alignment_ = a;
        changed();
    }
    NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(NSLineBreakMode m) {
        lineBreakMode_ = m;
        changed();
    }
    bool wraps() const { return wraps_; }
    void setWraps(bool w) {
        wraps_ = w;
        changed();
    }
    bool isScrollable() const { return scrollable_; }
    void setScrollable(bool s) { scrollable_ = s; }
    NSFocusRingType focusRingType() const { return focusRing_; }
    void setFocusRingType(NSFocusRingType t) { focusRing_ = t; }
    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool e) {
        enabled_ = e;
        changed();
    }
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool h) {
        highlighted_ = h;
        changed();
    }
    NSControlStateValue state() const { return state_; }
    void setState(NSControlStateValue s) {
        state_ = s;
        changed();
    }
    bool isEditable() const { return editable_; }
    void setEditable(bool e) { editable_ = e; }
    bool isSelectable() const { return selectable_ || editable_; }
    void setSelectable(bool s) { selectable_ = s; }
    bool isBordered() const { return bordered_; }
    void setBordered(bool b) {
        bordered_ = b;
        changed();
    }
    bool isBezeled() const { return bezeled_; }
    void setBezeled(bool b) {
        bezeled_ = b;
        changed();
    }
    NSImagePtr image() const { return image_; }
    virtual void setImage(const NSImagePtr& i) {
        image_ = i;
        changed();
    }
    int maximumNumberOfLines() const { return maxLines_; }
    void setMaximumNumberOfLines(int n) {
        maxLines_ = n;
        changed();
    }

    std::shared_ptr<NSView> controlView() const { return controlView_.lock(); }
    void setControlView(const std::shared_ptr<NSView>& v) { controlView_ = v; }
    ObjectPtr target() const { return target_.lock(); }
    void setTarget(const ObjectPtr& t) { target_ = t; }
    Selector action() const { return action_; }
    void setAction(Selector a) { action_ = a; }

    // Sizes and parts.
    virtual CGSize cellSize() const;
    virtual CGSize cellSizeForBounds(const CGRect& bounds) const;
    virtual CGRect drawingRectForBounds(const CGRect& bounds) const { return bounds; }
    virtual CGRect titleRectForBounds(const CGRect& bounds) const;
    virtual CGRect imageRectForBounds(const CGRect& bounds) const;

    // Drawing, in the control view's coordinates with its context current.
    virtual void drawWithFrame(const CGRect& frame, NSView& view);
    virtual void drawInteriorWithFrame(const CGRect& frame, NSView& view);
    virtual void highlight(bool flag, const CGRect& frame, NSView& view);

    // Mouse tracking: pulls events from the application until the button goes up (or
    // the pointer leaves the frame, when `untilMouseUp` is false). Answers whether the
    // button went up inside the frame.
    virtual bool trackMouse(const NSEvent& event, const CGRect& frame, NSView& view, bool untilMouseUp);
    virtual bool startTrackingAt(CGPoint, NSView&) { return true; }
    virtual bool continueTracking(CGPoint, CGPoint, NSView&) { return true; }
    virtual void stopTracking(CGPoint, CGPoint, NSView&, bool) {}

    // The text this cell shows, with its font, colour and alignment applied.
    virtual NSAttributedString displayedText() const;

protected:
    void changed();
    // The text colour the cell draws with when none is in the text.
    virtual NSColorPtr effectiveTextColor() const;

    std::string string_;
    NSAttributedString attributed_;
    bool hasAttributed_ = false;
    NSFontPtr font_;
    NSTextAlignment alignment_ = NSTextAlignment::natural;
    NSLineBreakMode lineBreakMode_ = NSLineBreakMode::byWordWrapping;
    bool wraps_ = false;
    bool scrollable_ = false;
    NSFocusRingType focusRing_ = NSFocusRingType::defaultType;
    bool enabled_ = true;
    bool highlighted_ = false;
    NSControlStateValue state_ = NSControlStateValue::off;
    bool editable_ = false, selectable_ = false, bordered_ = false, bezeled_ = false;
    NSImagePtr image_;
    int maxLines_ = 0;
    std::weak_ptr<NSView> controlView_;
    std::weak_ptr<Object> target_;
    Selector action_;
};
using NSCellPtr = std::shared_ptr<NSCell>;
using NSActionCell = NSCell;

}  // namespace platform
