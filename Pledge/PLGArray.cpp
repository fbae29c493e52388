// The fixed-capacity result container of the runtime-facing promise.
#include "Pledge/PLGArray.h"

#include <algorithm>

namespace Pledge {

PLATFORM_REGISTER_CLASS(PLGArray);

PLGArray::PLGArray(std::size_t count, std::array<platform::Value, capacity> objects)
    : objs_(std::move(objects)), count_(std::min(count, capacity)) {
    for (std::size_t i = count_; i < capacity; ++i) objs_[i] = platform::Value();
}

platform::Value PLGArray::objectAtIndexedSubscript(std::size_t index) const {
    return index < count_ ? objs_[index] : platform::Value();
}

void PLGArray::registerMethods(platform::Class& cls) {
    cls.addMethod("count", [](PLGArray& self) { return static_cast<unsigned long>(self.count()); });
    cls.addMethod("objectAtIndexedSubscript:",
                  [](PLGArray& self, unsigned long index) { return self.objectAtIndexedSubscript(index); });
}

PLGArrayPtr PLGArrayWithCount(std::size_t count, platform::Value a0, platform::Value a1, platform::Value a2) {
    return std::make_shared<PLGArray>(
        count, std::array<platform::Value, PLGArray::capacity>{std::move(a0), std::move(a1), std::move(a2)});
}

}  // namespace Pledge
