// A region of a view that reports the pointer entering, leaving and moving in it, and
// asks for cursor updates, to its owner.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/base/OptionSet.h"
#include "platform/base/Value.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class NSResponder;

struct NSTrackingAreaOptionsTag {};
using NSTrackingAreaOptions = OptionSet<NSTrackingAreaOptionsTag, std::uint64_t>;
inline constexpr NSTrackingAreaOptions NSTrackingMouseEnteredAndExited{0x01};
inline constexpr NSTrackingAreaOptions NSTrackingMouseMoved{0x02};
inline constexpr NSTrackingAreaOptions NSTrackingCursorUpdate{0x04};
inline constexpr NSTrackingAreaOptions NSTrackingActiveWhenFirstResponder{0x10};
inline constexpr NSTrackingAreaOptions NSTrackingActiveInKeyWindow{0x20};
inline constexpr NSTrackingAreaOptions NSTrackingActiveInActiveApp{0x40};
inline constexpr NSTrackingAreaOptions NSTrackingActiveAlways{0x80};
inline constexpr NSTrackingAreaOptions NSTrackingAssumeInside{0x100};
inline constexpr NSTrackingAreaOptions NSTrackingInVisibleRect{0x200};
inline constexpr NSTrackingAreaOptions NSTrackingEnabledDuringMouseDrag{0x400};

class NSTrackingArea {
public:
    NSTrackingArea(CGRect rect, NSTrackingAreaOptions options, const std::shared_ptr<NSResponder>& owner,
                   Value::Dictionary userInfo = {})
        : rect_(rect), options_(options), owner_(owner), userInfo_(std::move(userInfo)),
          inside_(options.contains(NSTrackingAssumeInside)) {}
    static std::shared_ptr<NSTrackingArea> create(CGRect rect, NSTrackingAreaOptions options,
                                                  const std::shared_ptr<NSResponder>& owner,
                                                  Value::Dictionary userInfo = {}) {
        return std::make_shared<NSTrackingArea>(rect, options, owner, std::move(userInfo));
    }

    CGRect rect() const { return rect_; }
    NSTrackingAreaOptions options() const { return options_; }
    std::shared_ptr<NSResponder> owner() const { return owner_.lock(); }
    const Value::Dictionary& userInfo() const { return userInfo_; }

    // Whether the pointer was inside at the last check (kept by the window).
    bool isInside() const { return inside_; }
    void setInside(bool inside) { inside_ = inside; }

private:
    CGRect rect_;
    NSTrackingAreaOptions options_;
    std::weak_ptr<NSResponder> owner_;
    Value::Dictionary userInfo_;
    bool inside_;
};
using NSTrackingAreaPtr = std::shared_ptr<NSTrackingArea>;

}  // namespace platform
