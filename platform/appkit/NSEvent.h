// Input events as views receive them: mouse presses, moves, drags, enter/exit through
// tracking areas, scroll wheel and keys, with the window-relative location.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/base/OptionSet.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class NSWindow;
class NSTrackingArea;

enum class NSEventType : int {
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    rightMouseUp = 4,
    mouseMoved = 5,
    leftMouseDragged = 6,
    rightMouseDragged = 7,
    mouseEntered = 8,
    mouseExited = 9,
    keyDown = 10,
    keyUp = 11,
    cursorUpdate = 17,
    scrollWheel = 22,
};

struct NSEventModifierFlagsTag {};
using NSEventModifierFlags = OptionSet<NSEventModifierFlagsTag, std::uint64_t>;
inline constexpr NSEventModifierFlags NSEventModifierFlagShift{1u << 17};
inline constexpr NSEventModifierFlags NSEventModifierFlagControl{1u << 18};
inline constexpr NSEventModifierFlags NSEventModifierFlagOption{1u << 19};
inline constexpr NSEventModifierFlags NSEventModifierFlagCommand{1u << 20};

class NSEvent;
using NSEventPtr = std::shared_ptr<NSEvent>;

class NSEvent {
public:
    static NSEventPtr mouseEvent(NSEventType type, CGPoint locationInWindow, const std::shared_ptr<NSWindow>& window,
                                 int clickCount = 1, double pressure = 1.0);
    static NSEventPtr enterExitEvent(NSEventType type, CGPoint locationInWindow,
                                     const std::shared_ptr<NSWindow>& window,
                                     const std::shared_ptr<NSTrackingArea>& area);
    static NSEventPtr scrollEvent(CGPoint locationInWindow, const std::shared_ptr<NSWindow>& window, double deltaX,
                                  double deltaY);
    static NSEventPtr keyEvent(NSEventType type, const std::string& characters, unsigned short keyCode,
                               const std::shared_ptr<NSWindow>& window);

    NSEventType type() const { return type_; }
    CGPoint locationInWindow() const { return location_; }
    std::shared_ptr<NSWindow> window() const { return window_.lock(); }
    int clickCount() const { return clickCount_; }
    double pressure() const { return pressure_; }
    double timestamp() const { return timestamp_; }
    NSEventModifierFlags modifierFlags() const { return modifiers_; }
    void setModifierFlags(NSEventModifierFlags m) { modifiers_ = m; }
    double deltaX() const { return deltaX_; }
    double deltaY() const { return deltaY_; }
    double scrollingDeltaX() const { return deltaX_; }
    double scrollingDeltaY() const { return deltaY_; }
    const std::string& characters() const { return characters_; }
    unsigned short keyCode() const { return keyCode_; }
    std::shared_ptr<NSTrackingArea> trackingArea() const { return area_.lock(); }
    // Where the pointer is on the screen (y down, the display's pixels).
    CGPoint screenLocation() const { return screen_; }
    void setScreenLocation(CGPoint p) { screen_ = p; }

private:
    NSEventType type_ = NSEventType::mouseMoved;
    CGPoint location_;
    CGPoint screen_;
    std::weak_ptr<NSWindow> window_;
    int clickCount_ = 0;
    double pressure_ = 0;
    double timestamp_ = 0;
    NSEventModifierFlags modifiers_;
    double deltaX_ = 0, deltaY_ = 0;
    std::string characters_;
    unsigned short keyCode_ = 0;
    std::weak_ptr<NSTrackingArea> area_;
};

}  // namespace platform
