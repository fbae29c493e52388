#include "platform/base/Date.h"

#include <chrono>

namespace platform {

Date Date::now() {
    using namespace std::chrono;
    auto since1970 = duration<double>(system_clock::now().time_since_epoch()).count();
    return fromTimeIntervalSince1970(since1970);
}

}  // namespace platform
