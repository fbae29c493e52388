// The container of one to three runtime values by which one runtime-facing promise value
// carries several results (a notification and its user info; a task's outputs; a
// response object, the response and its body). Immutable after construction.
#pragma once
#include <array>
#include <cstddef>
#include <memory>

#include "platform/runtime/Class.h"

namespace Pledge {

class PLGArray : public platform::Object {
    PLATFORM_OBJECT(PLGArray, platform::Object)

public:
    static constexpr std::size_t capacity = 3;

    // `count` is clamped to the capacity; slots from `count` on stay nil.
    PLGArray(std::size_t count, std::array<platform::Value, capacity> objects);

    std::size_t count() const { return count_; }
    // The element at `index`, nil at and beyond `count` (never raises).
    platform::Value objectAtIndexedSubscript(std::size_t index) const;
    static void registerMethods(platform::Class& cls);

private:
    std::array<platform::Value, capacity> objs_;
    std::size_t count_;
};
using PLGArrayPtr = std::shared_ptr<PLGArray>;

// A new container of `count` elements taken in order from the objects given (missing
// ones are nil).
PLGArrayPtr PLGArrayWithCount(std::size_t count, platform::Value a0 = {}, platform::Value a1 = {},
                              platform::Value a2 = {});

}  // namespace Pledge
