// Window structure, geometry, ordering, event dispatch and drawing.
#include "platform/appkit/NSWindow.h"

#include <algorithm>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSViewController.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/NSGraphicsContext.h"
#include "platform/graphics/TextLayout.h"

namespace platform {

PLATFORM_REGISTER_CLASS(NSWindow);

namespace {

constexpr CGFloat standardTitlebarHeight = 28;

// The frame view: the root of a window's views.
class WindowFrameView : public NSView {
public:
    using NSView::NSView;
};

// The strip at the top: draws the bar and the title unless the window makes it transparent.
class TitlebarView : public NSView {
public:
    TitlebarView(CGRect frame, std::weak_ptr<NSWindow> window) : NSView(frame), owner_(std::move(window)) {}
    void draw(const CGRect&) override {
        auto w = owner_.lock();
        auto* ctx = NSGraphicsContext::currentContext();
        if (!w || !ctx || w->titlebarAppearsTransparent()) return;
        auto& cg = ctx->cgContext();
        cg.setFillColor({0.91, 0.91, 0.91, 1});
        cg.fillRect(bounds());
        if (w->titleVisibility() == NSWindowTitleVisibility::visible && !w->title().empty()) {
            auto font = NSFont::boldSystemFontOfSize(13);
            NSAttributedString title(
                w->title(), {{NSFontAttributeName, font}, {NSForegroundColorAttributeName, NSColor::labelColor()}});
            title.setAlignment(NSTextAlignment::center, title.fullRange());
            TextLayout layout(title, bounds().width());
            double h = layout.usedRect().height();
            layout.drawInRect(cg, {0, (bounds().height() - h) / 2, bounds().width(), h});
        }
    }

private:
    std::weak_ptr<NSWindow> owner_;
};

// Close, miniaturise and zoom: coloured circles that act on their window.
class WindowButtonCell : public NSButtonCell {
public:
    explicit WindowButtonCell(CGColor color) : color_(color) { setBordered(false); }
    CGSize cellSizeForBounds(const CGRect&) const override { return {14, 16}; }
    void drawWithFrame(const CGRect& frame, NSView&) override {
        auto* ctx = NSGraphicsContext::currentContext();
        if (!ctx) return;
        auto& cg = ctx->cgContext();
        CGColor c = color_;
        if (isHighlighted()) c = {c.red * 0.8, c.green * 0.8, c.blue * 0.8, 1};
        cg.setFillColor(c);
        CGRect circle{frame.midX() - 6, frame.midY() - 6, 12, 12};
        cg.fillPath(CGPath::roundedRectangle(circle, 6, 6));
    }

private:
    CGColor color_;
};

class WindowButton : public NSButton {
public:
    WindowButton(NSWindowButton which, CGColor color) : NSButton({0, 0, 14, 16}), which_(which) {
        cellHolder_ = std::make_shared<WindowButtonCell>(color);
    }
    void attach() { setCell(cellHolder_); }
    bool sendAction(Selector, const ObjectPtr&) override {
        auto w = window();
        if (!w) return false;
        if (which_ == NSWindowButton::closeButton) w->performClose(self());
        else if (which_ == NSWindowButton::zoomButton && w->styleMask().contains(NSWindowStyleMaskResizable))
            w->toggleFullScreen(self());
        else if (which_ == NSWindowButton::miniaturizeButton) w->orderOut(self());
        return true;
    }

private:
    NSWindowButton which_;
    std::shared_ptr<NSCell> cellHolder_;
};

}  // namespace

NSWindow::NSWindow(CGRect contentRect, NSWindowStyleMask style, NSBackingStoreType, bool)
    : frame_(contentRect), style_(style), background_(NSColor::windowBackgroundColor()) {
    frame_ = frameRectForContentRect(contentRect);
}

NSWindow::~NSWindow() = default;

std::shared_ptr<NSWindow> NSWindow::create(CGRect contentRect, NSWindowStyleMask style, NSBackingStoreType backing,
                                           bool defer) {
    return make<NSWindow>(contentRect, style, backing, defer);
}

void NSWindow::buildViews() {
    auto me = self();
    CGSize size = frame_.size;
    frameView_ = std::make_shared<WindowFrameView>(CGRect{0, 0, size.width, size.height});
    frameView_->window_ = me;
    frameView_->setNextResponder(me);

    titlebarContainer_ = NSView::create({0, size.height - standardTitlebarHeight, size.width, standardTitlebarHeight});
    titlebarContainer_->setAutoresizingMask(NSViewWidthSizable | NSViewMinYMargin);
    titlebarView_ = std::make_shared<TitlebarView>(CGRect{0, 0, size.width, standardTitlebarHeight}, me);
    titlebarView_->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    const CGColor colors[3] = {{1.0, 0.37, 0.34, 1}, {1.0, 0.74, 0.18, 1}, {0.16, 0.78, 0.25, 1}};
    for (int i = 0; i < 3; ++i) {
        auto b = std::make_shared<WindowButton>(static_cast<NSWindowButton>(i), colors[i]);
        b->attach();
        b->setFrame({7.0 + 20 * i, (standardTitlebarHeight - 16) / 2, 14, 16});
        b->setAutoresizingMask(NSViewMaxXMargin | NSViewMinYMargin | NSViewMaxYMargin);
        buttons_[i] = b;
        titlebarView_->addSubview(b);
    }
    titlebarContainer_->addSubview(titlebarView_);
    frameView_->addSubview(titlebarContainer_);
    titlebarContainer_->setHidden(!style_.contains(NSWindowStyleMaskTitled));
    buttons_[0]->setHidden(!style_.contains(NSWindowStyleMaskClosable));
    buttons_[1]->setEnabled(style_.contains(NSWindowStyleMaskMiniaturizable));
    buttons_[2]->setEnabled(style_.contains(NSWindowStyleMaskResizable));

    setContentView(NSView::create());
    backend_ = WindowBackend::create(*this);
    backend_->setFrame(topDownFrame());
    NSApplication::shared()->addWindow(me);
}

// ---- geometry ----

CGFloat NSWindow::titlebarHeight() const {
    return style_.contains(NSWindowStyleMaskTitled) ? standardTitlebarHeight : 0;
}

CGRect NSWindow::contentRectForFrameRect(const CGRect& f) const {
    if (style_.contains(NSWindowStyleMaskFullSizeContentView)) return f;
    return {f.minX(), f.minY(), f.width(), std::max(0.0, f.height() - titlebarHeight())};
}

CGRect NSWindow::frameRectForContentRect(const CGRect& c) const {
    if (style_.contains(NSWindowStyleMaskFullSizeContentView)) return c;
    return {c.minX(), c.minY(), c.width(), c.height() + titlebarHeight()};
}

CGRect NSWindow::topDownFrame() const {
    CGSize screen = backend_ ? backend_->screenSize() : CGSize{1920, 1080};
    return {frame_.minX(), screen.height - frame_.maxY(), frame_.width(), frame_.height()};
}

void NSWindow::placeViews() {
    if (!frameView_) return;
    frameView_->setFrame({0, 0, frame_.width(), frame_.height()});
    if (contentView_) {
        CGRect c = contentRectForFrameRect({0, 0, frame_.width(), frame_.height()});
        contentView_->setFrame(c);
    }
}

void NSWindow::setFrame(const CGRect& frame, bool display) {
    CGRect old = frame_;
    if (old == frame) return;
    frame_ = frame;
    placeViews();
    if (backend_) backend_->setFrame(topDownFrame());
    if (!(old.size == frame.size)) postWindowNotification(NSWindowDidResizeNotification);
    if (!(old.origin == frame.origin)) postWindowNotification(NSWindowDidMoveNotification);
    if (display && visible_) scheduleUpdate();
}

void NSWindow::setFrameOrigin(CGPoint origin) { setFrame({origin, frame_.size}); }

void NSWindow::setContentSize(CGSize size) {
    CGRect f = frameRectForContentRect({frame_.origin, size});
    setFrame({frame_.minX(), frame_.maxY() - f.height(), f.width(), f.height()});
}

void NSWindow::center() {
    CGSize screen = backend_ ? backend_->screenSize() : CGSize{1920, 1080};
    setFrameOrigin(
        {std::floor((screen.width - frame_.width()) / 2), std::floor((screen.height - frame_.height()) / 2)});
}

// ---- style ----

void NSWindow::setStyleMask(NSWindowStyleMask style) {
    CGRect content = contentRectForFrameRect(frame_);
    style_ = style;
    if (titlebarContainer_) titlebarContainer_->setHidden(!style_.contains(NSWindowStyleMaskTitled));
    if (buttons_[0]) buttons_[0]->setHidden(!style_.contains(NSWindowStyleMaskClosable));
    if (!style_.contains(NSWindowStyleMaskFullScreen)) frame_ = frameRectForContentRect(content);
    placeViews();
    if (frameView_) frameView_->setNeedsDisplay(true);
}

void NSWindow::setTitle(const std::string& title) {
    title_ = title;
    if (backend_) backend_->setTitle(title);
    if (titlebarView_) titlebarView_->setNeedsDisplay(true);
}

void NSWindow::setTitleVisibility(NSWindowTitleVisibility v) {
    titleVisibility_ = v;
    if (titlebarView_) titlebarView_->setNeedsDisplay(true);
}

void NSWindow::setTitlebarAppearsTransparent(bool v) {
    transparentTitlebar_ = v;
    if (titlebarView_) titlebarView_->setNeedsDisplay(true);
}

void NSWindow::setBackgroundColor(const NSColorPtr& c) {
    background_ = c;
    if (frameView_) frameView_->setNeedsDisplay(true);
}

// ---- views ----

void NSWindow::setContentView(const NSViewPtr& view) {
    if (contentView_ == view) return;
    if (contentView_) contentView_->removeFromSuperview();
    contentView_ = view;
    if (!view) return;
    view->setTranslatesAutoresizingMaskIntoConstraints(true);
    view->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    view->setFrame(contentRectForFrameRect({0, 0, frame_.width(), frame_.height()}));
    frameView_->addSubview(view, NSWindowOrderingMode::below, titlebarContainer_);
}

void NSWindow::setContentViewController(const std::shared_ptr<NSViewController>& controller) {
    contentViewController_ = controller;
    if (controller) setContentView(controller->view());
}

NSButtonPtr NSWindow::standardWindowButton(NSWindowButton which) const {
    int i = static_cast<int>(which);
    return i >= 0 && i < 3 ? buttons_[i] : nullptr;
}

// ---- ordering ----

void NSWindow::orderFront(const ObjectPtr&) {
    if (closed_) return;
    visible_ = true;
    if (backend_) backend_->show();
    layoutIfNeeded();
    display();
}

void NSWindow::makeKeyWindow() {
    if (key_) return;
    for (auto& w : NSApplication::shared()->windows())
        if (w.get() != this && w->key_) {
            w->key_ = false;
            w->postWindowNotification(NSWindowDidResignKeyNotification);
        }
    key_ = true;
    postWindowNotification(NSWindowDidBecomeKeyNotification);
}

void NSWindow::makeKeyAndOrderFront(const ObjectPtr& sender) {
    orderFront(sender);
    if (visible_) makeKeyWindow();
}

void NSWindow::orderOut(const ObjectPtr&) {
    visible_ = false;
    if (key_) {
        key_ = false;
        postWindowNotification(NSWindowDidResignKeyNotification);
    }
    if (backend_) backend_->hide();
}

void NSWindow::performClose(const ObjectPtr&) {
    if (!style_.contains(NSWindowStyleMaskClosable)) return;
    if (auto d = delegate(); d && !d->windowShouldClose(*this)) return;
    close();
}

void NSWindow::close() {
    if (closed_) return;
    auto keep = self();
    postWindowNotification(NSWindowWillCloseNotification);
    orderOut(nullptr);
    closed_ = true;
    NSApplication::shared()->windowDidClose(keep);
}

void NSWindow::toggleFullScreen(const ObjectPtr&) {
    auto keep = self();
    if (!isFullScreen()) {
        postWindowNotification(NSWindowWillEnterFullScreenNotification);
        savedFrame_ = frame_;
        style_.insert(NSWindowStyleMaskFullScreen);
        CGSize screen = backend_ ? backend_->screenSize() : CGSize{1920, 1080};
        setFrame({0, 0, screen.width, screen.height});
        postWindowNotification(NSWindowDidEnterFullScreenNotification);
    } else {
        postWindowNotification(NSWindowWillExitFullScreenNotification);
        style_.remove(NSWindowStyleMaskFullScreen);
        setFrame(savedFrame_);
        postWindowNotification(NSWindowDidExitFullScreenNotification);
    }
}

bool NSWindow::makeFirstResponder(const std::shared_ptr<NSResponder>& responder) {
    auto current = firstResponder();
    if (current == responder) return true;
    if (current && !current->resignFirstResponder()) return false;
    firstResponder_.reset();
    if (responder && (!responder->acceptsFirstResponder() || !responder->becomeFirstResponder())) return false;
    firstResponder_ = responder;
    return true;
}

void NSWindow::postWindowNotification(const std::string& name) {
    Notification n(name, self());
    if (auto d = delegate()) {
        if (name == NSWindowDidResizeNotification) d->windowDidResize(n);
        else if (name == NSWindowDidMoveNotification) d->windowDidMove(n);
        else if (name == NSWindowWillCloseNotification) d->windowWillClose(n);
        else if (name == NSWindowDidBecomeKeyNotification) d->windowDidBecomeKey(n);
        else if (name == NSWindowDidResignKeyNotification) d->windowDidResignKey(n);
        else if (name == NSWindowWillEnterFullScreenNotification) d->windowWillEnterFullScreen(n);
        else if (name == NSWindowDidEnterFullScreenNotification) d->windowDidEnterFullScreen(n);
        else if (name == NSWindowWillExitFullScreenNotification) d->windowWillExitFullScreen(n);
        else if (name == NSWindowDidExitFullScreenNotification) d->windowDidExitFullScreen(n);
    }
    NotificationCenter::defaultCenter()->post(n);
}

// ---- events ----

void NSWindow::sendEvent(const NSEventPtr& e) {
    if (!e || !frameView_) return;
    auto keep = self();
    CGPoint loc = e->locationInWindow();
    switch (e->type()) {
        case NSEventType::leftMouseDown: {
            mouse_ = loc;
            mouseInside_ = true;
            auto hit = frameView_->hitTest(loc);
            if (!hit) return;
            bool inTitlebar = hit == titlebarView_ || hit == titlebarContainer_ || hit == frameView_;
            if (movable_ && !isFullScreen() &&
                (inTitlebar || (movableByBackground_ && hit->mouseDownCanMoveWindow()))) {
                draggingWindow_ = true;
                dragStart_ = e->screenLocation();
                dragFrame_ = frame_;
                return;
            }
            if (hit->acceptsFirstResponder()) makeFirstResponder(hit);
            mouseDownView_ = hit;
            auto app = NSApplication::shared();
            auto upsBefore = app->mouseUpsTakenByTracking();
            hit->mouseDown(*e);
            // A tracking loop inside mouseDown took the release already.
            if (app->mouseUpsTakenByTracking() != upsBefore) mouseDownView_.reset();
            return;
        }
        case NSEventType::leftMouseDragged:
            mouse_ = loc;
            if (draggingWindow_) {
                CGPoint now = e->screenLocation();
                setFrameOrigin({dragFrame_.minX() + now.x - dragStart_.x, dragFrame_.minY() - (now.y - dragStart_.y)});
            } else if (mouseDownView_) {
                mouseDownView_->mouseDragged(*e);
            }
            return;
        case NSEventType::leftMouseUp: {
            mouse_ = loc;
            draggingWindow_ = false;
            auto view = std::move(mouseDownView_);
            mouseDownView_.reset();
            if (view) view->mouseUp(*e);
            updateTracking(e);
            return;
        }
        case NSEventType::rightMouseDown:
            if (auto hit = frameView_->hitTest(loc)) hit->rightMouseDown(*e);
            return;
        case NSEventType::mouseMoved:
        case NSEventType::mouseEntered:
            mouse_ = loc;
            mouseInside_ = true;
            updateTracking(e);
            updateCursor();
            return;
        case NSEventType::mouseExited:
            mouseInside_ = false;
            updateTracking(e);
            return;
        case NSEventType::scrollWheel:
            if (auto hit = frameView_->hitTest(loc)) hit->scrollWheel(*e);
            return;
        case NSEventType::keyDown:
        case NSEventType::keyUp: {
            std::shared_ptr<NSResponder> target = firstResponder();
            if (!target) target = contentView_;
            if (!target) return;
            if (e->type() == NSEventType::keyDown) target->keyDown(*e);
            else target->keyUp(*e);
            return;
        }
        default: return;
    }
}

void NSWindow::noteMouseLocation(const NSEvent& e) {
    switch (e.type()) {
        case NSEventType::leftMouseDown:
        case NSEventType::leftMouseUp:
        case NSEventType::rightMouseDown:
        case NSEventType::rightMouseUp:
        case NSEventType::mouseMoved:
        case NSEventType::leftMouseDragged:
        case NSEventType::rightMouseDragged:
        case NSEventType::mouseEntered: mouse_ = e.locationInWindow(); return;
        default: return;
    }
}

void NSWindow::invalidateTracking() { cursorRectsValid_ = false; }

void NSWindow::updateTracking(const NSEventPtr& event) {
    struct Entry {
        NSView* view;
        NSTrackingAreaPtr area;
    };
    std::vector<Entry> entries;
    forEachView(*frameView_, [&](NSView& v) {
        for (auto& a : v.trackingAreas()) entries.push_back({&v, a});
    });
    auto me = self();
    std::vector<Entry> exits, enters, moves;
    bool moved = event && (event->type() == NSEventType::mouseMoved || event->type() == NSEventType::mouseEntered);
    for (auto& entry : entries) {
        auto options = entry.area->options();
        if (mouseDownView_ && !options.contains(NSTrackingEnabledDuringMouseDrag)) continue;
        bool active = true;
        if (options.contains(NSTrackingActiveInKeyWindow) && !options.contains(NSTrackingActiveAlways)) active = key_;
        CGPoint p = entry.view->convertPointFromView(mouse_, nullptr);
        CGRect r = options.contains(NSTrackingInVisibleRect) ? entry.view->visibleRect() : entry.area->rect();
        bool inside = mouseInside_ && active && !entry.view->isHiddenOrHasHiddenAncestor() && r.contains(p);
        if (inside != entry.area->isInside()) {
            entry.area->setInside(inside);
            (inside ? enters : exits).push_back(entry);
        }
        if (inside && moved && options.contains(NSTrackingMouseMoved)) moves.push_back(entry);
    }
    for (auto& x : exits)
        if (auto owner = x.area->owner(); owner && x.area->options().contains(NSTrackingMouseEnteredAndExited))
            owner->mouseExited(*NSEvent::enterExitEvent(NSEventType::mouseExited, mouse_, me, x.area));
    for (auto& x : enters) {
        auto owner = x.area->owner();
        if (!owner) continue;
        if (x.area->options().contains(NSTrackingMouseEnteredAndExited))
            owner->mouseEntered(*NSEvent::enterExitEvent(NSEventType::mouseEntered, mouse_, me, x.area));
        if (x.area->options().contains(NSTrackingCursorUpdate))
            owner->cursorUpdate(*NSEvent::enterExitEvent(NSEventType::cursorUpdate, mouse_, me, x.area));
    }
    for (auto& x : moves)
        if (auto owner = x.area->owner()) owner->mouseMoved(*event);
}

void NSWindow::updateCursor() {
    if (!cursorRectsValid_) {
        forEachView(*frameView_, [](NSView& v) {
            v.discardCursorRects();
            v.resetCursorRects();
        });
        cursorRectsValid_ = true;
    }
    NSCursorPtr cursor = NSCursor::arrowCursor();
    forEachView(*frameView_, [&](NSView& v) {
        if (v.isHiddenOrHasHiddenAncestor()) return;
        CGPoint p = v.convertPointFromView(mouse_, nullptr);
        for (auto& r : v.cursorRects())
            if (r.rect.contains(p) && r.cursor) cursor = r.cursor;  // later (deeper, higher) views win
    });
    cursor->set();
    if (backend_) backend_->setCursor(cursor->shape());
}

// ---- layout and drawing ----

void NSWindow::viewNeedsDisplay() { scheduleUpdate(); }
void NSWindow::viewNeedsLayout() { scheduleUpdate(); }

void NSWindow::scheduleUpdate() {
    if (!visible_ || updateScheduled_) return;
    updateScheduled_ = true;
    std::weak_ptr<NSWindow> weak = self();
    DispatchQueue::main()->async([weak] {
        auto w = weak.lock();
        if (!w) return;
        w->updateScheduled_ = false;
        w->layoutIfNeeded();
        w->displayIfNeeded();
    });
}

void NSWindow::layoutIfNeeded() {
    if (!frameView_ || !frameView_->needsLayout()) return;
    frameView_->layoutSubtreeIfNeeded();
    forEachView(*frameView_, [](NSView& v) { v.updateTrackingAreas(); });
    cursorRectsValid_ = false;
}

void NSWindow::render(cairo_surface_t* surface, int width, int height) {
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    {
        CGContext cg(cr);
        if (background_) {
            cg.setFillColor(background_->cgColor());
            cg.fillRect({0, 0, double(width), double(height)});
        }
        CGAffineTransform flip{1, 0, 0, -1, 0, double(height)};
        CGAffineTransform t = frameView_->transformToSuperview();
        CGAffineTransform toDevice{flip.a * t.a, 0, 0, flip.d * t.d, flip.a * t.tx + flip.tx, flip.d * t.ty + flip.ty};
        frameView_->renderTree(cg, toDevice);
    }
    cairo_surface_flush(surface);
    cairo_destroy(cr);
}

void NSWindow::display() {
    if (!frameView_) return;
    layoutIfNeeded();
    if (!backend_ || !visible_) return;
    int w = static_cast<int>(std::ceil(frame_.width())), h = static_cast<int>(std::ceil(frame_.height()));
    if (w <= 0 || h <= 0) return;
    cairo_surface_t* surface = backend_->beginFrame(w, h);
    if (!surface) return;
    render(surface, w, h);
    backend_->present();
}

void NSWindow::displayIfNeeded() {
    bool needed = false;
    if (frameView_) forEachView(*frameView_, [&](NSView& v) { needed = needed || v.needsDisplay(); });
    if (needed) display();
}

NSImagePtr NSWindow::snapshot() {
    layoutIfNeeded();
    auto image = NSImage::imageWithSize(frame_.size);
    auto px = image->pixelSize();
    render(image->surface(), static_cast<int>(px.width), static_cast<int>(px.height));
    return image;
}

}  // namespace platform
