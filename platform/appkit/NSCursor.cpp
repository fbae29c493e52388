// The shared cursors and the current one.
#include "platform/appkit/NSCursor.h"

#include "platform/base/NoDestructor.h"

namespace platform {
namespace {
// Process-wide like the shared cursors, so they are never destroyed while a late caller may ask.
NoDestructor<std::shared_ptr<NSCursor>> current;
std::shared_ptr<NSCursor> shared(NSCursor::Shape s) { return std::make_shared<NSCursor>(s); }
}  // namespace

std::shared_ptr<NSCursor> NSCursor::arrowCursor() {
    static const NoDestructor<std::shared_ptr<NSCursor>> c(shared(Shape::arrow));
    return *c;
}
std::shared_ptr<NSCursor> NSCursor::pointingHandCursor() {
    static const NoDestructor<std::shared_ptr<NSCursor>> c(shared(Shape::pointingHand));
    return *c;
}
std::shared_ptr<NSCursor> NSCursor::IBeamCursor() {
    static const NoDestructor<std::shared_ptr<NSCursor>> c(shared(Shape::iBeam));
    return *c;
}
std::shared_ptr<NSCursor> NSCursor::openHandCursor() {
    static const NoDestructor<std::shared_ptr<NSCursor>> c(shared(Shape::openHand));
    return *c;
}
std::shared_ptr<NSCursor> NSCursor::closedHandCursor() {
    static const NoDestructor<std::shared_ptr<NSCursor>> c(shared(Shape::closedHand));
    return *c;
}
std::shared_ptr<NSCursor> NSCursor::currentCursor() { return *current ? *current : arrowCursor(); }

void NSCursor::set() const {
    for (auto c : {arrowCursor(), pointingHandCursor(), IBeamCursor(), openHandCursor(), closedHandCursor()})
        if (c->shape_ == shape_) *current = c;
}

}  // namespace platform
