// Event construction.
#include "platform/appkit/NSEvent.h"

#include <chrono>

namespace platform {
namespace {
double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
}  // namespace

NSEventPtr NSEvent::mouseEvent(NSEventType type, CGPoint location, const std::shared_ptr<NSWindow>& window,
                               int clickCount, double pressure) {
    auto e = std::make_shared<NSEvent>();
    e->type_ = type;
    e->location_ = location;
    e->window_ = window;
    e->clickCount_ = clickCount;
    e->pressure_ = pressure;
    e->timestamp_ = now();
    return e;
}

NSEventPtr NSEvent::enterExitEvent(NSEventType type, CGPoint location, const std::shared_ptr<NSWindow>& window,
                                   const std::shared_ptr<NSTrackingArea>& area) {
    auto e = mouseEvent(type, location, window, 0, 0);
    e->area_ = area;
    return e;
}

NSEventPtr NSEvent::scrollEvent(CGPoint location, const std::shared_ptr<NSWindow>& window, double dx, double dy) {
    auto e = mouseEvent(NSEventType::scrollWheel, location, window, 0, 0);
    e->deltaX_ = dx;
    e->deltaY_ = dy;
    return e;
}

NSEventPtr NSEvent::keyEvent(NSEventType type, const std::string& characters, unsigned short keyCode,
                             const std::shared_ptr<NSWindow>& window) {
    auto e = mouseEvent(type, {}, window, 0, 0);
    e->characters_ = characters;
    e->keyCode_ = keyCode;
    return e;
}

}  // namespace platform
