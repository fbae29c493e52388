// Reads the main screen's size from the X display named by DISPLAY.
#include "platform/appkit/NSScreen.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace platform {

std::optional<CGRect> NSScreen::mainScreenFrame() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return std::nullopt;
    Display* display = XOpenDisplay(name);
    if (!display) return std::nullopt;
    int screen = DefaultScreen(display);
    CGRect frame{
        {0, 0},
        {static_cast<double>(DisplayWidth(display, screen)), static_cast<double>(DisplayHeight(display, screen))}};
    XCloseDisplay(display);
    return frame;
}

}  // namespace platform
