// The shared cursors and the current one.
#include "platform/appkit/NSCursor.h"

#include <array>
#include <cstddef>

#include "platform/base/NoDestructor.h"

namespace platform {
namespace {
constexpr std::size_t shapeCount = static_cast<std::size_t>(NSCursor::Shape::closedHand) + 1;
using SharedCursors = std::array<std::shared_ptr<NSCursor>, shapeCount>;

// One shared cursor per shape, made on first use. Process-wide, so never destroyed while a
// late caller may still ask for one.
const std::shared_ptr<NSCursor>& sharedCursor(NSCursor::Shape shape) {
    static const NoDestructor<SharedCursors> cursors([] {
        SharedCursors made;
        for (std::size_t i = 0; i < shapeCount; ++i)
            made[i] = std::make_shared<NSCursor>(static_cast<NSCursor::Shape>(i));
        return made;
    }());
    return (*cursors)[static_cast<std::size_t>(shape)];
}

NoDestructor<std::shared_ptr<NSCursor>> current;
}  // namespace

std::shared_ptr<NSCursor> NSCursor::arrowCursor() { return sharedCursor(Shape::arrow); }
std::shared_ptr<NSCursor> NSCursor::pointingHandCursor() { return sharedCursor(Shape::pointingHand); }
std::shared_ptr<NSCursor> NSCursor::IBeamCursor() { return sharedCursor(Shape::iBeam); }
std::shared_ptr<NSCursor> NSCursor::openHandCursor() { return sharedCursor(Shape::openHand); }
std::shared_ptr<NSCursor> NSCursor::closedHandCursor() { return sharedCursor(Shape::closedHand); }
std::shared_ptr<NSCursor> NSCursor::currentCursor() { return *current ? *current : arrowCursor(); }

void NSCursor::set() const { *current = sharedCursor(shape_); }

}  // namespace platform
