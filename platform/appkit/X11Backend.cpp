// Windows on an X server: one connection polled by the main run loop, drawing through
// an image buffer copied onto the window, and X input turned into events.
#include <cmath>
#include <cstdlib>
#include <map>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowBackend.h"
#include "platform/runloop/RunLoop.h"

// Xlib last: its macros (Success, None, Bool …) would clash with platform names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <cairo-xlib.h>

namespace platform {

class X11Backend;

namespace {
class X11BackendImpl;
}

struct Connection {
    Display* display = nullptr;
    Atom deleteWindow = 0, protocols = 0, motifHints = 0;
    std::map<Window, X11BackendImpl*> windows;
    std::map<NSCursor::Shape, Cursor> cursors;

    static Connection* get() {
        static Connection* connection = [] {
            auto* c = new Connection;
            c->display = XOpenDisplay(nullptr);
            if (!c->display) return c;
            c->deleteWindow = XInternAtom(c->display, "WM_DELETE_WINDOW", False);
            c->protocols = XInternAtom(c->display, "WM_PROTOCOLS", False);
            c->motifHints = XInternAtom(c->display, "_MOTIF_WM_HINTS", False);
            // Xlib reads ahead while drawing; events it queued must not wait for the socket.
            Display* display = c->display;
            RunLoop::main()->addSource(
                ConnectionNumber(display), [] { pumpX11Events(); },
                [display] { return XEventsQueued(display, QueuedAlready) > 0; });
            return c;
        }();
        return connection->display ? connection : nullptr;
    }
};

namespace {

class X11BackendImpl : public WindowBackend {
public:
    X11BackendImpl(Connection& c, NSWindow& window) : c_(c), owner_(window) {
        Display* d = c_.display;
        int screen = DefaultScreen(d);
        window_ =
            XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 1, 1, 0, BlackPixel(d, screen), WhitePixel(d, screen));
        XSelectInput(d, window_,
                     ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                         LeaveWindowMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask | FocusChangeMask);
        XSetWMProtocols(d, window_, &c_.deleteWindow, 1);
        // The window draws its own title bar: ask the window manager for no decorations.
        long hints[5] = {2, 0, 0, 0, 0};
        XChangeProperty(d, window_, c_.motifHints, c_.motifHints, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(hints), 5);
        XClassHint* cls = XAllocClassHint();
        cls->res_name = const_cast<char*>("skyreach");
        cls->res_class = const_cast<char*>("Skyreach");
        XSetClassHint(d, window_, cls);
        XFree(cls);
        c_.windows[window_] = this;
    }
    ~X11BackendImpl() override {
        c_.windows.erase(window_);
        if (xsurface_) cairo_surface_destroy(xsurface_);
        if (image_) cairo_surface_destroy(image_);
        XDestroyWindow(c_.display, window_);
        XFlush(c_.display);
    }

    void setFrame(const CGRect& f) override {
        frame_ = f;
        int w = std::max(1, int(std::lround(f.width()))), h = std::max(1, int(std::lround(f.height())));
        XSizeHints* size = XAllocSizeHints();
        size->flags = PPosition | PSize;
        size->x = int(f.minX()), size->y = int(f.minY());
        size->width = w, size->height = h;
        // Windows that are not resizable keep their size.
        if (!owner_.styleMask().contains(NSWindowStyleMaskResizable)) {
            size->flags |= PMinSize | PMaxSize;
            size->min_width = size->max_width = w;
            size->min_height = size->max_height = h;
        }
        XSetWMNormalHints(c_.display, window_, size);
        XFree(size);
        XMoveResizeWindow(c_.display, window_, int(f.minX()), int(f.minY()), unsigned(w), unsigned(h));
        if (xsurface_) cairo_xlib_surface_set_size(xsurface_, w, h);
        XFlush(c_.display);
    }
    void show() override {
        XMapRaised(c_.display, window_);
        XFlush(c_.display);
        mapped_ = true;
    }
    void hide() override {
        XUnmapWindow(c_.display, window_);
        XFlush(c_.display);
        mapped_ = false;
    }
    void setTitle(const std::string& title) override {
        XStoreName(c_.display, window_, title.c_str());
        XFlush(c_.display);
    }
    void setCursor(NSCursor::Shape shape) override {
        auto it = c_.cursors.find(shape);
        if (it == c_.cursors.end()) {
            unsigned glyph = shape == NSCursor::Shape::pointingHand ? XC_hand2
                             : shape == NSCursor::Shape::iBeam      ? XC_xterm
                             : shape == NSCursor::Shape::arrow      ? XC_left_ptr
                                                                    : XC_fleur;
            it = c_.cursors.emplace(shape, XCreateFontCursor(c_.display, glyph)).first;
        }
        XDefineCursor(c_.display, window_, it->second);
        XFlush(c_.display);
    }
    cairo_surface_t* beginFrame(int width, int height) override {
        if (!image_ || cairo_image_surface_get_width(image_) != width ||
            cairo_image_surface_get_height(image_) != height) {
            if (image_) cairo_surface_destroy(image_);
            image_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        }
        return image_;
    }
    void present() override {
        if (!image_) return;
        writeSnapshotIfRequested(image_);
        copyToWindow();
    }
    void copyToWindow() {
        if (!image_ || !mapped_) return;
        int w = cairo_image_surface_get_width(image_), h = cairo_image_surface_get_height(image_);
        if (!xsurface_) {
            Display* d = c_.display;
            xsurface_ = cairo_xlib_surface_create(d, window_, DefaultVisual(d, DefaultScreen(d)), w, h);
        }
        cairo_t* cr = cairo_create(xsurface_);
        // Transparent parts show white, as an opaque window must show something.
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_set_source_surface(cr, image_, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(xsurface_);
        XFlush(c_.display);
    }
    CGSize screenSize() const override {
        Display* d = c_.display;
        return {double(DisplayWidth(d, DefaultScreen(d))), double(DisplayHeight(d, DefaultScreen(d)))};
    }
    bool isOnScreen() const override { return mapped_; }
    unsigned long nativeHandle() const override { return window_; }

    void handle(XEvent& ev) {
        auto window = std::static_pointer_cast<NSWindow>(owner_.shared_from_this());
        auto app = NSApplication::shared();
        double height = frame_.height();
        auto at = [&](int x, int y) { return CGPoint{double(x), height - double(y)}; };
        switch (ev.type) {
            case Expose:
                if (ev.xexpose.count == 0) copyToWindow();
                break;
            case ButtonPress: {
                auto& b = ev.xbutton;
                CGPoint p = at(b.x, b.y);
                if (b.button >= 4 && b.button <= 7) {
                    double dx = b.button == 6   ? 1
                                : b.button == 7 ? -1
                                                : 0,
                           dy = b.button == 4   ? 1
                                : b.button == 5 ? -1
                                                : 0;
                    auto e = NSEvent::scrollEvent(p, window, dx * 10, dy * 10);
                    e->setScreenLocation({double(b.x_root), double(b.y_root)});
                    app->postEvent(e);
                    break;
                }
                bool left = b.button == 1;
                if (left) {
                    bool again = b.time - lastClick_ < 400 && std::abs(b.x - lastX_) < 5 && std::abs(b.y - lastY_) < 5;
                    clicks_ = again ? clicks_ + 1 : 1;
                    lastClick_ = b.time, lastX_ = b.x, lastY_ = b.y;
                    pressed_ = true;
                }
                auto e = NSEvent::mouseEvent(left ? NSEventType::leftMouseDown : NSEventType::rightMouseDown, p, window,
                                             left ? clicks_ : 1, 1.0);
                e->setScreenLocation({double(b.x_root), double(b.y_root)});
                app->postEvent(e);
                break;
            }
            case ButtonRelease: {
                auto& b = ev.xbutton;
                if (b.button != 1 && b.button != 3) break;
                if (b.button == 1) pressed_ = false;
                auto e = NSEvent::mouseEvent(b.button == 1 ? NSEventType::leftMouseUp : NSEventType::rightMouseUp,
                                             at(b.x, b.y), window, clicks_, 0);
                e->setScreenLocation({double(b.x_root), double(b.y_root)});
                app->postEvent(e);
                break;
            }
            case MotionNotify: {
                auto& m = ev.xmotion;
                auto e = NSEvent::mouseEvent(pressed_ ? NSEventType::leftMouseDragged : NSEventType::mouseMoved,
                                             at(m.x, m.y), window, 0, pressed_ ? 1.0 : 0);
                e->setScreenLocation({double(m.x_root), double(m.y_root)});
                app->postEvent(e);
                break;
            }
            case EnterNotify:
            case LeaveNotify: {
                auto& c = ev.xcrossing;
                auto e =
                    NSEvent::mouseEvent(ev.type == EnterNotify ? NSEventType::mouseEntered : NSEventType::mouseExited,
                                        at(c.x, c.y), window, 0, 0);
                app->postEvent(e);
                break;
            }
            case KeyPress:
            case KeyRelease: {
                char buffer[32] = {};
                KeySym sym;
                int n = XLookupString(&ev.xkey, buffer, sizeof buffer - 1, &sym, nullptr);
                auto e = NSEvent::keyEvent(ev.type == KeyPress ? NSEventType::keyDown : NSEventType::keyUp,
                                           std::string(buffer, n > 0 ? n : 0),
                                           static_cast<unsigned short>(ev.xkey.keycode), window);
                app->postEvent(e);
                break;
            }
            case ConfigureNotify: {
                // The window manager resized a resizable window: the window follows,
                // keeping its top-left corner.
                auto& c = ev.xconfigure;
                if (c.width == int(std::lround(frame_.width())) && c.height == int(std::lround(frame_.height()))) break;
                if (!owner_.styleMask().contains(NSWindowStyleMaskResizable)) break;
                CGRect f = window->frame();
                window->setFrame({f.minX(), f.maxY() - c.height, double(c.width), double(c.height)});
                break;
            }
            case ClientMessage:
                if (static_cast<Atom>(ev.xclient.data.l[0]) == c_.deleteWindow) window->performClose(nullptr);
                break;
            // The application is active while one of its windows has the keyboard focus.
            // Grabs (menus, drags) and focus moving inside a window change nothing.
            case FocusIn:
                if (ev.xfocus.mode == NotifyNormal || ev.xfocus.mode == NotifyWhileGrabbed)
                    app->activateIgnoringOtherApps(true);
                break;
            case FocusOut:
                if (ev.xfocus.mode != NotifyNormal && ev.xfocus.mode != NotifyWhileGrabbed) break;
                if (ev.xfocus.detail == NotifyInferior || focusIsOnOneOfOurWindows()) break;
                app->deactivate();
                break;
            default: break;
        }
    }

private:
    // Where the focus is now, asked of the server: a move from one of our windows to
    // another reports FocusOut first, with the focus already on the other.
    bool focusIsOnOneOfOurWindows() const {
        Window focused = 0;
        int revertTo = 0;
        XGetInputFocus(c_.display, &focused, &revertTo);
        return c_.windows.count(focused) > 0;
    }

    Connection& c_;
    NSWindow& owner_;
    Window window_;
    CGRect frame_;
    cairo_surface_t* image_ = nullptr;
    cairo_surface_t* xsurface_ = nullptr;
    bool mapped_ = false, pressed_ = false;
    Time lastClick_ = 0;
    int lastX_ = 0, lastY_ = 0, clicks_ = 0;
};

}  // namespace

Connection* opened = nullptr;

std::unique_ptr<WindowBackend> makeX11Backend(NSWindow& window) {
    Connection* c = Connection::get();
    if (!c) return nullptr;
    opened = c;
    return std::make_unique<X11BackendImpl>(*c, window);
}

void pumpX11Events() {
    Connection* c = opened;
    if (!c) return;
    while (XPending(c->display)) {
        XEvent ev;
        XNextEvent(c->display, &ev);
        auto it = c->windows.find(ev.xany.window);
        if (it != c->windows.end()) it->second->handle(ev);
    }
}

}  // namespace platform
