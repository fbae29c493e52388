// The shared cursors and the current one.
#include "platform/appkit/NSCursor.h"

namespace platform {
namespace {
std::shared_ptr<NSCursor> current;
std::shared_ptr<NSCursor> shared(NSCursor::Shape s) { return std::make_shared<NSCursor>(s); }
}  // namespace

std::shared_ptr<NSCursor> NSCursor::arrowCursor() { static auto c = shared(Shape::arrow); return c; }
std::shared_ptr<NSCursor> NSCursor::pointingHandCursor() { static auto c = shared(Shape::pointingHand); return c; }
std::shared_ptr<NSCursor> NSCursor::IBeamCursor() { static auto c = shared(Shape::iBeam); return c; }
std::shared_ptr<NSCursor> NSCursor::openHandCursor() { static auto c = shared(Shape::openHand); return c; }
std::shared_ptr<NSCursor> NSCursor::closedHandCursor() { static auto c = shared(Shape::closedHand); return c; }
std::shared_ptr<NSCursor> NSCursor::currentCursor() { return current ? current : arrowCursor(); }

void NSCursor::set() const {
    for (auto c : {arrowCursor(), pointingHandCursor(), IBeamCursor(), openHandCursor(), closedHandCursor()})
        if (c->shape_ == shape_) current = c;
}

}  // namespace platform
