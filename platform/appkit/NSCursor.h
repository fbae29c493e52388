// Pointer shapes a view can ask for over parts of itself.
#pragma once
#include <memory>

namespace platform {

class NSCursor {
public:
    enum class Shape { arrow, pointingHand, iBeam, openHand, closedHand };
    explicit NSCursor(Shape shape) : shape_(shape) {}
    static std::shared_ptr<NSCursor> arrowCursor();
    static std::shared_ptr<NSCursor> pointingHandCursor();
    static std::shared_ptr<NSCursor> IBeamCursor();
    static std::shared_ptr<NSCursor> openHandCursor();
    static std::shared_ptr<NSCursor> closedHandCursor();
    // The cursor last set (shown by the window system backend).
    static std::shared_ptr<NSCursor> currentCursor();
    void set() const;
    Shape shape() const { return shape_; }

private:
    Shape shape_;
};
using NSCursorPtr = std::shared_ptr<NSCursor>;

}  // namespace platform
