// Where a window's pixels go: an X11 window when a display is available, otherwise an
// off-screen image. Either can write each drawn frame to a PNG (SKYREACH_SNAPSHOT).
#pragma once
#include <cairo.h>

#include <memory>
#include <string>

#include "platform/appkit/NSCursor.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class NSWindow;

class WindowBackend {
public:
    virtual ~WindowBackend() = default;
    // Frames are in screen pixels from the top-left of the screen.
    virtual void setFrame(const CGRect& topDownFrame) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void setTitle(const std::string&) {}
    virtual void setCursor(NSCursor::Shape) {}
    // A surface of the window's size to draw a frame into, then shown by `present`.
    virtual cairo_surface_t* beginFrame(int width, int height) = 0;
    virtual void present() = 0;
    virtual CGSize screenSize() const = 0;
    virtual bool isOnScreen() const { return false; }
    // The X window id, for tests that look the window up; 0 off-screen.
    virtual unsigned long nativeHandle() const { return 0; }

    // Picks the backend: SKYREACH_WINDOW_BACKEND=offscreen|x11 decides; otherwise X11
    // when DISPLAY is set and the display opens, else off-screen.
    static std::unique_ptr<WindowBackend> create(NSWindow& window);
    // Reads input the window system has already delivered, posting it as events.
    static void pumpEvents();
};

// The X11 backend (X11Backend.cpp); null when no display can be opened.
std::unique_ptr<WindowBackend> makeX11Backend(NSWindow& window);
void pumpX11Events();

// Writes the surface to the path in SKYREACH_SNAPSHOT, when set.
void writeSnapshotIfRequested(cairo_surface_t* surface);

}  // namespace platform
