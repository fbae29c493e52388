// Monotonic time arithmetic; saturates instead of wrapping.
#include "platform/dispatch/DispatchTime.h"

#include <chrono>
#include <cmath>

namespace platform {

DispatchTime DispatchTime::now() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return DispatchTime{
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count())};
}

double DispatchTime::secondsFromNow() const {
    if (isDistantFuture()) return INFINITY;
    auto current = now().uptimeNanoseconds;
    if (uptimeNanoseconds >= current) return static_cast<double>(uptimeNanoseconds - current) / 1e9;
    return -static_cast<double>(current - uptimeNanoseconds) / 1e9;
}

static DispatchTime offset(DispatchTime t, long double nanos) {
    if (t.isDistantFuture() || std::isnan(nanos)) return t;
    long double result = static_cast<long double>(t.uptimeNanoseconds) + nanos;
    if (result <= 0) return DispatchTime{0};
    if (result >= static_cast<long double>(DispatchTime::distantFuture().uptimeNanoseconds))
        return DispatchTime::distantFuture();
    return DispatchTime{static_cast<std::uint64_t>(result)};
}

DispatchTime operator+(DispatchTime t, double seconds) { return offset(t, static_cast<long double>(seconds) * 1e9L); }

DispatchTime operator+(DispatchTime t, DispatchTimeInterval interval) {
    if (interval.isNever) return DispatchTime::distantFuture();
    return offset(t, static_cast<long double>(interval.nanoseconds));
}

}  // namespace platform
