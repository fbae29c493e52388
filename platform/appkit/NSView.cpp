// The view tree, geometry, coordinate conversion, drawing and layout entry points.
#include "platform/appkit/NSView.h"

#include <algorithm>
#include <cmath>

#include "platform/appkit/LayoutEngine.h"
#include "platform/appkit/NSWindow.h"
#include "platform/graphics/NSGraphicsContext.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSView);

void forEachView(NSView& root, const std::function<void(NSView&)>& visit) {
    visit(root);
    // Copy: a visit may change the subviews.
    auto children = root.subviews();
    for (auto& child : children) forEachView(*child, visit);
}

NSView::NSView(CGRect frame) : frame_(frame), bounds_({0, 0}, frame.size) {}
NSView::~NSView() = default;

// ---- geometry ----

void NSView::setFrame(const CGRect& frame) {
    CGRect old = frame_;
    if (old == frame) return;
    frame_ = frame;
    bounds_.size = frame.size;
    if (layer_) layer_->setGeometry(frame_, bounds_);
    if (!(old.size == frame.size)) {
        resizeSubviewsWithOldSize(old.size);
        frameSizeDidChange(old.size);
        needsLayout_ = true;
    }
    if (translates_ || !inLayout_) invalidateLayoutTree();
    setNeedsDisplay(true);
    if (auto s = superview()) s->setNeedsDisplay(true);
}

void NSView::setFrameOrigin(CGPoint origin) { setFrame({origin, frame_.size}); }
void NSView::setFrameSize(CGSize size) { setFrame({frame_.origin, size}); }

void NSView::setBounds(const CGRect& bounds) {
    bounds_ = bounds;
    setNeedsDisplay(true);
    invalidateLayoutTree();
}
void NSView::setBoundsOrigin(CGPoint origin) { setBounds({origin, bounds_.size}); }

CGRect NSView::visibleRect() const {
    CGRect visible = bounds_;
    const NSView* v = this;
    CGRect r = bounds_;
    while (auto s = v->superview()) {
        r = v->convertRectToView(r, s.get()).intersection(s->bounds());
        v = s.get();
    }
    // Back into our coordinates.
    if (v != this) r = convertRectFromView(r, v);
    return r.isEmpty() ? CGRectZero : r.intersection(visible);
}

void NSView::resizeSubviewsWithOldSize(CGSize oldSize) {
    if (!autoresizesSubviews_) return;
    for (auto& v : subviews_)
        if (v->translates_) v->resizeWithOldSuperviewSize(oldSize);
}

// Springs and struts: the flexible parts share the change in proportion to their size.
void NSView::resizeWithOldSuperviewSize(CGSize oldSize) {
    auto super = superview();
    if (!super || autoresizingMask_.isEmpty()) return;
    CGSize now = super->bounds().size;
    auto distribute = [](double delta, double lead, double size, double trail, bool fl, bool fs, bool ft,
                         double& outLead, double& outSize) {
        double total = (fl ? lead : 0) + (fs ? size : 0) + (ft ? trail : 0);
        int count = int(fl) + int(fs) + int(ft);
        outLead = lead, outSize = size;
        if (count == 0) return;
        auto share = [&](double part) { return total > 0 ? delta * part / total : delta / count; };
        if (fl) outLead += share(lead);
        if (fs) outSize += share(size);
    };
    CGRect f = frame_;
    double x, w, y, h;
    distribute(now.width - oldSize.width, f.minX(), f.width(), oldSize.width - f.maxX(),
               autoresizingMask_.contains(NSViewMinXMargin), autoresizingMask_.contains(NSViewWidthSizable),
               autoresizingMask_.contains(NSViewMaxXMargin), x, w);
    // In an unflipped superview the minimum-y margin is the bottom one.
    distribute(now.height - oldSize.height, f.minY(), f.height(), oldSize.height - f.maxY(),
               autoresizingMask_.contains(NSViewMinYMargin), autoresizingMask_.contains(NSViewHeightSizable),
               autoresizingMask_.contains(NSViewMaxYMargin), y, h);
    setFrame({x, y, std::max(0.0, w), std::max(0.0, h)});
}

// ---- tree ----

void NSView::addSubview(const NSViewPtr& view) { addSubview(view, NSWindowOrderingMode::above, nullptr); }

void NSView::addSubview(const NSViewPtr& view, NSWindowOrderingMode place, const NSViewPtr& relativeTo) {
    if (!view || view.get() == this) return;
    auto me = self();
    if (view->superview().get() != this || relativeTo) {
        view->viewWillMoveToSuperview(me);
        if (view->superview()) view->removeFromSuperview();
    } else {
        // Already ours: move it to the front.
        subviews_.erase(std::find(subviews_.begin(), subviews_.end(), view));
    }
    auto at = subviews_.end();
    if (relativeTo) {
        auto it = std::find(subviews_.begin(), subviews_.end(), relativeTo);
        if (it != subviews_.end()) at = place == NSWindowOrderingMode::below ? it : it + 1;
    } else if (place == NSWindowOrderingMode::below) {
        at = subviews_.begin();
    }
    subviews_.insert(at, view);
    view->superview_ = me;
    view->detachEngine();
    auto w = window();
    if (view->window() != w) {
        forEachView(*view, [&](NSView& v) { v.viewWillMoveToWindow(w); });
        view->setWindowRecursively(w);
    }
    view->viewDidMoveToSuperview();
    didAddSubview(view);
    invalidateLayoutTree();
    setNeedsDisplay(true);
}

void NSView::removeFromSuperview() {
    auto super = superview();
    if (!super) return;
    auto keep = self();
    super->willRemoveSubview(keep);
    viewWillMoveToSuperview(nullptr);
    auto& siblings = super->subviews_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), keep), siblings.end());
    superview_.reset();
    // Constraints that reach outside the removed subtree go with it.
    for (NSView* v = super.get(); v; v = v->superview().get()) {
        std::vector<NSLayoutConstraintPtr> dropped;
        for (auto& c : v->constraints_) {
            for (const auto& item : {c->firstItem(), c->secondItem()}) {
                auto* li = dynamic_cast<LayoutItem*>(item.get());
                auto lv = li ? li->layoutView() : nullptr;
                if (lv && (lv.get() == this || lv->isDescendantOf(*this))) dropped.push_back(c);
            }
        }
        for (auto& c : dropped) v->removeConstraint(c);
    }
    if (window()) {
        forEachView(*this, [&](NSView& v) { v.viewWillMoveToWindow(nullptr); });
        setWindowRecursively(nullptr);
    }
    viewDidMoveToSuperview();
    super->invalidateLayoutTree();
    super->setNeedsDisplay(true);
}

void NSView::setWindowRecursively(const std::shared_ptr<NSWindow>& window) {
    forEachView(*this, [&](NSView& v) {
        v.window_ = window;
        v.viewDidMoveToWindow();
        v.setNeedsDisplay(true);
    });
}

bool NSView::isDescendantOf(const NSView& view) const {
    for (const NSView* v = this; v; v = v->superview().get())
        if (v == &view) return true;
    return false;
}

NSViewPtr NSView::ancestorSharedWithView(const NSView& view) const {
    for (auto v = const_cast<NSView*>(this)->self(); v; v = v->superview())
        if (view.isDescendantOf(*v)) return v;
    return nullptr;
}

NSView* NSView::rootView() {
    NSView* v = this;
    while (auto s = v->superview()) v = s.get();
    return v;
}

std::shared_ptr<NSResponder> NSView::nextResponder() const {
    if (auto n = NSResponder::nextResponder()) return n;
    if (auto s = superview()) return s;
    return window();
}

// ---- appearance ----

void NSView::setHidden(bool hidden) {
    if (hidden_ == hidden) return;
    hidden_ = hidden;
    if (auto s = superview()) s->setNeedsDisplay(true);
    if (auto w = window()) w->invalidateTracking();
}

bool NSView::isHiddenOrHasHiddenAncestor() const {
    for (const NSView* v = this; v; v = v->superview().get())
        if (v->hidden_) return true;
    return false;
}

void NSView::setAlphaValue(CGFloat alpha) {
    alpha_ = std::clamp(alpha, 0.0, 1.0);
    setNeedsDisplay(true);
}

void NSView::setWantsLayer(bool wants) {
    wantsLayer_ = wants;
    if (wants && !layer_) {
        layer_ = std::make_shared<CALayer>();
        layer_->setGeometry(frame_, bounds_);
    }
    setNeedsDisplay(true);
}

// ---- drawing ----

void NSView::setNeedsDisplay(bool needs) {
    needsDisplay_ = needs;
    if (needs)
        if (auto w = window()) w->viewNeedsDisplay();
}

void NSView::draw(const CGRect&) {}

void NSView::display() {
    setNeedsDisplay(true);
    if (auto w = window()) w->display();
}

void NSView::displayIfNeeded() {
    if (auto w = window()) w->displayIfNeeded();
}

CGAffineTransform NSView::transformToSuperview() const {
    // x keeps its direction; y flips when this view and its superview disagree.
    auto super = superview();
    bool superFlipped = super ? super->isFlipped() : false;
    CGAffineTransform t;
    t.tx = frame_.origin.x - bounds_.origin.x;
    if (isFlipped() == superFlipped) {
        t.d = 1;
        t.ty = frame_.origin.y - bounds_.origin.y;
    } else {
        t.d = -1;
        t.ty = frame_.origin.y + frame_.size.height + bounds_.origin.y;
    }
    return t;
}

static CGAffineTransform concat(const CGAffineTransform& outer, const CGAffineTransform& inner) {
    // outer ∘ inner, for transforms without rotation.
    return {outer.a * inner.a, 0, 0, outer.d * inner.d, outer.a * inner.tx + outer.tx, outer.d * inner.ty + outer.ty};
}

static CGAffineTransform invert(const CGAffineTransform& t) {
    return {1 / t.a, 0, 0, 1 / t.d, -t.tx / t.a, -t.ty / t.d};
}

CGAffineTransform NSView::transformToWindow() const {
    CGAffineTransform t = transformToSuperview();
    for (auto s = superview(); s; s = s->superview()) t = concat(s->transformToSuperview(), t);
    return t;
}

CGPoint NSView::convertPointToView(CGPoint p, const NSView* view) const {
    CGPoint w = transformToWindow().apply(p);
    return view ? invert(view->transformToWindow()).apply(w) : w;
}

CGPoint NSView::convertPointFromView(CGPoint p, const NSView* view) const {
    CGPoint w = view ? view->transformToWindow().apply(p) : p;
    return invert(transformToWindow()).apply(w);
}

static CGRect mapRect(const CGAffineTransform& t, const CGRect& r) {
    CGPoint a = t.apply(r.origin), b = t.apply({r.maxX(), r.maxY()});
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y)};
}

CGRect NSView::convertRectToView(const CGRect& r, const NSView* view) const {
    CGRect w = mapRect(transformToWindow(), r);
    return view ? mapRect(invert(view->transformToWindow()), w) : w;
}

CGRect NSView::convertRectFromView(const CGRect& r, const NSView* view) const {
    CGRect w = view ? mapRect(view->transformToWindow(), r) : r;
    return mapRect(invert(transformToWindow()), w);
}

void NSView::renderTree(CGContext& context, const CGAffineTransform& toDevice) {
    if (hidden_ || alpha_ <= 0) return;
    cairo_t* cr = context.cairo();
    context.saveGState();
    cairo_matrix_t m;
    cairo_matrix_init(&m, toDevice.a, 0, 0, toDevice.d, toDevice.tx, toDevice.ty);
    cairo_set_matrix(cr, &m);
    bool group = alpha_ < 1 || (layer_ && layer_->opacity < 1);
    if (group) cairo_push_group(cr);
    bool masks = layer_ && layer_->masksToBounds;
    CGPath shape =
        CGPath::roundedRectangle(bounds_, layer_ ? layer_->cornerRadius : 0, layer_ ? layer_->cornerRadius : 0);
    if (masks) context.clipToPath(shape);
    if (layer_ && !layer_->hidden) layer_->drawBackground(context, bounds_);
    {
        NSGraphicsContext ns(cr, isFlipped());
        GraphicsContextScope scope(&ns);
        ns.cgContext().saveGState();
        ns.cgContext().clipToRect(bounds_);
        draw(bounds_);
        ns.cgContext().restoreGState();
    }
    needsDisplay_ = false;
    if (clipsToBounds() && !masks) context.clipToRect(bounds_);
    for (auto& child : std::vector<NSViewPtr>(subviews_))
        child->renderTree(context, concat(toDevice, child->transformToSuperview()));
    cairo_set_matrix(cr, &m);
    if (layer_ && !layer_->hidden) layer_->drawBorder(context, bounds_);
    if (group) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, alpha_ * (layer_ ? layer_->opacity : 1));
    }
    context.restoreGState();
}

// ---- events ----

NSViewPtr NSView::hitTest(CGPoint point) {
    if (hidden_) return nullptr;
    auto super = superview();
    CGPoint local = super ? convertPointFromView(point, super.get()) : invert(transformToSuperview()).apply(point);
    if (!mouseInRect(local, bounds_)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it)
        if (auto hit = (*it)->hitTest(local)) return hit;
    return self();
}

bool NSView::mouseInRect(CGPoint p, const CGRect& r) const {
    // Flipped views include their top edge (minimum y); unflipped ones their bottom
    // edge, which is their minimum y as well.
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

void NSView::addTrackingArea(const NSTrackingAreaPtr& area) {
    if (area) trackingAreas_.push_back(area);
}

void NSView::removeTrackingArea(const NSTrackingAreaPtr& area) {
    trackingAreas_.erase(std::remove(trackingAreas_.begin(), trackingAreas_.end(), area), trackingAreas_.end());
}

void NSView::addCursorRect(const CGRect& rect, const NSCursorPtr& cursor) { cursorRects_.push_back({rect, cursor}); }

// ---- layout ----

void NSView::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
    if (translates_ == translates) return;
    translates_ = translates;
    invalidateLayoutTree();
}

void NSView::setAutoresizingMask(NSAutoresizingMaskOptions mask) { autoresizingMask_ = mask; }

void NSView::addConstraint(const NSLayoutConstraintPtr& c) {
    if (!c) return;
    if (auto old = c->owner(); old && old.get() != this) old->removeConstraint(c);
    if (std::find(constraints_.begin(), constraints_.end(), c) == constraints_.end()) constraints_.push_back(c);
    c->owner_ = self();
    c->touch();
    invalidateLayoutTree();
}

void NSView::addConstraints(const std::vector<NSLayoutConstraintPtr>& cs) {
    for (auto& c : cs) addConstraint(c);
}

void NSView::removeConstraint(const NSLayoutConstraintPtr& c) {
    auto it = std::find(constraints_.begin(), constraints_.end(), c);
    if (it == constraints_.end()) return;
    constraints_.erase(it);
    if (c->owner().get() == this) c->owner_.reset();
    invalidateLayoutTree();
}

void NSView::removeConstraints(const std::vector<NSLayoutConstraintPtr>& cs) {
    for (auto& c : cs) removeConstraint(c);
}

void NSView::addLayoutGuide(const NSLayoutGuidePtr& guide) {
    if (!guide) return;
    guide->owner_ = self();
    layoutGuides_.push_back(guide);
    invalidateLayoutTree();
}

void NSView::removeLayoutGuide(const NSLayoutGuidePtr& guide) {
    layoutGuides_.erase(std::remove(layoutGuides_.begin(), layoutGuides_.end(), guide), layoutGuides_.end());
    if (guide) guide->owner_.reset();
    invalidateLayoutTree();
}

void NSView::invalidateIntrinsicContentSize() { invalidateLayoutTree(); }

NSLayoutPriority NSView::contentHuggingPriorityForOrientation(NSLayoutConstraintOrientation o) const {
    return hugging_[static_cast<int>(o) & 1];
}
void NSView::setContentHuggingPriority(NSLayoutPriority p, NSLayoutConstraintOrientation o) {
    hugging_[static_cast<int>(o) & 1] = p;
    invalidateLayoutTree();
}
NSLayoutPriority NSView::contentCompressionResistancePriorityForOrientation(NSLayoutConstraintOrientation o) const {
    return compression_[static_cast<int>(o) & 1];
}
void NSView::setContentCompressionResistancePriority(NSLayoutPriority p, NSLayoutConstraintOrientation o) {
    compression_[static_cast<int>(o) & 1] = p;
    invalidateLayoutTree();
}

void NSView::setNeedsLayout(bool needs) {
    needsLayout_ = needs;
    if (needs) invalidateLayoutTree();
}

void NSView::invalidateLayoutTree() {
    needsLayout_ = true;
    NSView* root = this;
    for (auto s = superview(); s; s = s->superview()) {
        s->needsLayout_ = true;
        root = s.get();
    }
    ++root->layoutGeneration_;
    if (auto w = window()) w->viewNeedsLayout();
}

void NSView::detachEngine() { engine_.reset(); }

LayoutEngine& NSView::layoutEngine() {
    if (!engine_) engine_ = std::make_unique<LayoutEngine>(*this);
    return *engine_;
}

void NSView::layoutSubtreeIfNeeded() {
    NSView* root = rootView();
    if (root->inLayout_) return;
    auto keep = root->self();
    root->inLayout_ = true;
    // Layout may change constraints (a view sizing itself from its new width): repeat
    // until the tree is stable, a bounded number of times.
    for (int pass = 0; pass < 8; ++pass) {
        std::uint64_t before = root->layoutGeneration_;
        forEachView(*root, [](NSView& v) { v.updateConstraints(); });
        LayoutEngine& engine = root->layoutEngine();
        engine.update();
        forEachView(*root, [](NSView& v) { v.inLayout_ = true; });
        engine.applyFrames();
        forEachView(*root, [](NSView& v) {
            if (v.needsLayout_) {
                v.needsLayout_ = false;
                v.layout();
            }
            v.inLayout_ = false;
        });
        root->inLayout_ = true;
        if (root->layoutGeneration_ == before) break;
    }
    root->inLayout_ = false;
    forEachView(*root, [](NSView& v) { v.needsLayout_ = false; });
}

CGSize NSView::fittingSize() {
    LayoutEngine engine(*this, true);
    engine.update();
    return engine.solvedRect(this).size;
}

}  // namespace platform
