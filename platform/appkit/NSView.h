// Views: a tree of rectangles with frames in their superview's coordinates, bounds of
// their own, drawing, layers, hit testing, tracking areas, cursor rectangles and
// constraint-based layout.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/CALayer.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSLayoutGuide.h"
#include "platform/appkit/NSResponder.h"
#include "platform/appkit/NSTrackingArea.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class NSWindow;
class LayoutEngine;
class NSView;
using NSViewPtr = std::shared_ptr<NSView>;

struct NSAutoresizingMaskOptionsTag {};
using NSAutoresizingMaskOptions = OptionSet<NSAutoresizingMaskOptionsTag, std::uint64_t>;
inline constexpr NSAutoresizingMaskOptions NSViewNotSizable{0};
inline constexpr NSAutoresizingMaskOptions NSViewMinXMargin{1};
inline constexpr NSAutoresizingMaskOptions NSViewWidthSizable{2};
inline constexpr NSAutoresizingMaskOptions NSViewMaxXMargin{4};
inline constexpr NSAutoresizingMaskOptions NSViewMinYMargin{8};
inline constexpr NSAutoresizingMaskOptions NSViewHeightSizable{16};
inline constexpr NSAutoresizingMaskOptions NSViewMaxYMargin{32};

// Changes made through a view's animator move gradually inside an animation group with
// a duration (NSAnimationContext), and at once otherwise.
class NSViewAnimator {
public:
    explicit NSViewAnimator(std::weak_ptr<NSView> view) : view_(std::move(view)) {}
    void setFrame(const CGRect& frame);
    void setFrameOrigin(CGPoint origin);
    void setFrameSize(CGSize size);
    void setAlphaValue(CGFloat alpha);

private:
    std::weak_ptr<NSView> view_;
};

enum class NSWindowOrderingMode : int { below = -1, out = 0, above = 1 };
inline constexpr CGFloat NSViewNoIntrinsicMetric = -1;

class NSView : public NSResponder, public LayoutItem, public LayoutAnchors<NSView> {
    PLATFORM_OBJECT(NSView, NSResponder)
public:
    explicit NSView(CGRect frame = CGRectZero);
    ~NSView() override;
    static NSViewPtr create(CGRect frame = CGRectZero) { return std::make_shared<NSView>(frame); }
    NSViewPtr self() { return std::static_pointer_cast<NSView>(shared_from_this()); }

    // ---- geometry ----
    CGRect frame() const { return frame_; }
    virtual void setFrame(const CGRect& frame);
    void setFrameOrigin(CGPoint origin);
    void setFrameSize(CGSize size);
    CGRect bounds() const { return bounds_; }
    void setBounds(const CGRect& bounds);
    void setBoundsOrigin(CGPoint origin);
    virtual bool isFlipped() const { return false; }
    virtual bool isOpaque() const { return false; }
    // Whether subviews are cut off at the bounds when drawn.
    virtual bool clipsToBounds() const { return clipsToBounds_; }
    void setClipsToBounds(bool clips) {
        clipsToBounds_ = clips;
        setNeedsDisplay(true);
    }
    // The part of the bounds not clipped away by ancestors.
    CGRect visibleRect() const;

    // ---- tree ----
    NSViewPtr superview() const { return superview_.lock(); }
    const std::vector<NSViewPtr>& subviews() const { return subviews_; }
    void addSubview(const NSViewPtr& view);
    void addSubview(const NSViewPtr& view, NSWindowOrderingMode place, const NSViewPtr& relativeTo);
    void removeFromSuperview();
    bool isDescendantOf(const NSView& view) const;
    NSViewPtr ancestorSharedWithView(const NSView& view) const;
    std::shared_ptr<NSWindow> window() const { return window_.lock(); }
    virtual void viewWillMoveToWindow(const std::shared_ptr<NSWindow>&) {}
    virtual void viewDidMoveToWindow() {}
    virtual void viewWillMoveToSuperview(const NSViewPtr&) {}
    virtual void viewDidMoveToSuperview() {}
    virtual void didAddSubview(const NSViewPtr&) {}
    // Live resizing (a window being resized by the user) starts and ends.
    virtual void viewWillStartLiveResize() {}
    virtual void viewDidEndLiveResize() {}
    virtual void willRemoveSubview(const NSViewPtr&) {}
    std::shared_ptr<NSResponder> nextResponder() const override;
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(const std::string& id) { identifier_ = id; }

    // ---- appearance ----
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool isHiddenOrHasHiddenAncestor() const;
    CGFloat alphaValue() const { return alpha_; }
    void setAlphaValue(CGFloat alpha);
    bool wantsLayer() const { return wantsLayer_; }
    virtual void setWantsLayer(bool wants);
    // Present once the view wants a layer.
    CALayerPtr layer() const { return layer_; }
    void setLayer(const CALayerPtr& layer) {
        layer_ = layer;
        setNeedsDisplay(true);
    }

    NSViewAnimator animator() { return NSViewAnimator(self()); }

    // ---- drawing ----
    bool needsDisplay() const { return needsDisplay_; }
    void setNeedsDisplay(bool needs);
    void setNeedsDisplayInRect(const CGRect&) { setNeedsDisplay(true); }
    // Draws the view's content in its own coordinates; the current graphics context is set.
    virtual void draw(const CGRect& dirtyRect);
    void display();
    void displayIfNeeded();
    // Draws this view and its subviews with `toDevice` mapping the view's coordinates
    // onto a y-down device space.
    void renderTree(CGContext& context, const CGAffineTransform& toDevice);

    // ---- events ----
    // `point` is in the superview's coordinates; the deepest visible view there.
    virtual NSViewPtr hitTest(CGPoint point);
    bool mouseInRect(CGPoint point, const CGRect& rect) const;
    virtual bool mouseDownCanMoveWindow() const { return !isOpaque(); }
    virtual bool acceptsFirstMouse(const NSEvent*) { return false; }
    const std::vector<NSTrackingAreaPtr>& trackingAreas() const { return trackingAreas_; }
    void addTrackingArea(const NSTrackingAreaPtr& area);
    void removeTrackingArea(const NSTrackingAreaPtr& area);
    virtual void updateTrackingAreas() {}
    struct CursorRect {
        CGRect rect;
        NSCursorPtr cursor;
    };
    virtual void resetCursorRects() {}
    void addCursorRect(const CGRect& rect, const NSCursorPtr& cursor);
    void discardCursorRects() { cursorRects_.clear(); }
    const std::vector<CursorRect>& cursorRects() const { return cursorRects_; }

    // ---- coordinates ----
    // `view` null means the window's coordinates.
    CGPoint convertPointFromView(CGPoint point, const NSView* view) const;
    CGPoint convertPointToView(CGPoint point, const NSView* view) const;
    CGRect convertRectFromView(const CGRect& rect, const NSView* view) const;
    CGRect convertRectToView(const CGRect& rect, const NSView* view) const;
    // The mapping of this view's coordinates into its window's (y up).
    CGAffineTransform transformToWindow() const;

    // ---- layout ----
    bool translatesAutoresizingMaskIntoConstraints() const { return translates_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool translates);
    NSAutoresizingMaskOptions autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(NSAutoresizingMaskOptions mask);
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool v) { autoresizesSubviews_ = v; }
    const std::vector<NSLayoutConstraintPtr>& constraints() const { return constraints_; }
    void addConstraint(const NSLayoutConstraintPtr& c);
    void addConstraints(const std::vector<NSLayoutConstraintPtr>& cs);
    void removeConstraint(const NSLayoutConstraintPtr& c);
    void removeConstraints(const std::vector<NSLayoutConstraintPtr>& cs);
    const std::vector<NSLayoutGuidePtr>& layoutGuides() const { return layoutGuides_; }
    void addLayoutGuide(const NSLayoutGuidePtr& guide);
    void removeLayoutGuide(const NSLayoutGuidePtr& guide);

    virtual CGSize intrinsicContentSize() const { return {NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric}; }
    void invalidateIntrinsicContentSize();
    NSLayoutPriority contentHuggingPriorityForOrientation(NSLayoutConstraintOrientation o) const;
    void setContentHuggingPriority(NSLayoutPriority p, NSLayoutConstraintOrientation o);
    NSLayoutPriority contentCompressionResistancePriorityForOrientation(NSLayoutConstraintOrientation o) const;
    void setContentCompressionResistancePriority(NSLayoutPriority p, NSLayoutConstraintOrientation o);
    // Distances of the baselines from the top and the bottom, for baseline attributes.
    virtual CGFloat firstBaselineOffsetFromTop() const { return 0; }
    virtual CGFloat lastBaselineOffsetFromBottom() const { return 0; }
    // The smallest size the constraints allow, solved on a private engine.
    CGSize fittingSize();

    bool needsLayout() const { return needsLayout_; }
    void setNeedsLayout(bool needs);
    bool needsUpdateConstraints() const { return needsLayout_; }
    void setNeedsUpdateConstraints(bool needs) { setNeedsLayout(needs); }
    virtual void updateConstraints() {}
    // Called top-down after the engine placed the subviews; overrides call the base first.
    virtual void layout() {}
    // Solves the constraints of the whole tree this view is in and lays it out.
    void layoutSubtreeIfNeeded();
    // Springs and struts for subviews that translate their masks, after a size change.
    virtual void resizeSubviewsWithOldSize(CGSize oldSize);
    virtual void resizeWithOldSuperviewSize(CGSize oldSize);

    // LayoutItem
    NSViewPtr layoutView() override { return self(); }

    // The root of the tree this view is in.
    NSView* rootView();
    // The engine of a root view (made on first use).
    LayoutEngine& layoutEngine();

protected:
    // Called when the frame size changed.
    virtual void frameSizeDidChange(CGSize) {}

private:
    friend class NSWindow;
    friend class LayoutEngine;
    friend class NSLayoutConstraint;
    void setWindowRecursively(const std::shared_ptr<NSWindow>& window);
    void invalidateLayoutTree();
    void detachEngine();
    CGAffineTransform transformToSuperview() const;

    CGRect frame_;
    CGRect bounds_;
    std::weak_ptr<NSView> superview_;
    std::vector<NSViewPtr> subviews_;
    std::weak_ptr<NSWindow> window_;
    std::string identifier_;
    bool hidden_ = false;
    bool clipsToBounds_ = false;
    CGFloat alpha_ = 1;
    bool wantsLayer_ = false;
    CALayerPtr layer_;
    bool needsDisplay_ = true;
    bool needsLayout_ = true;
    bool translates_ = true;
    bool autoresizesSubviews_ = true;
    NSAutoresizingMaskOptions autoresizingMask_;
    std::vector<NSLayoutConstraintPtr> constraints_;
    std::vector<NSLayoutGuidePtr> layoutGuides_;
    std::vector<NSTrackingAreaPtr> trackingAreas_;
    std::vector<CursorRect> cursorRects_;
    NSLayoutPriority hugging_[2] = {NSLayoutPriorityDefaultLow, NSLayoutPriorityDefaultLow};
    NSLayoutPriority compression_[2] = {NSLayoutPriorityDefaultHigh, NSLayoutPriorityDefaultHigh};
    std::uint64_t layoutGeneration_ = 1;  // bumped by changes the engine must see
    std::unique_ptr<LayoutEngine> engine_;
    bool inLayout_ = false;
};

// Walks a tree depth-first, parents before children.
void forEachView(NSView& root, const std::function<void(NSView&)>& visit);

}  // namespace platform
