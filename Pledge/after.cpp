// The library's timers, on the global queue of default quality of service.
#include "Pledge/after.h"

#include "platform/dispatch/DispatchQueue.h"

namespace Pledge {

namespace {
Guarantee<Void> armed(platform::DispatchTime deadline) {
    auto [guarantee, seal] = Guarantee<Void>::pending();
    platform::DispatchQueue::global(platform::DispatchQoS::default_)->asyncAfter(deadline, [seal = std::move(seal)] {
        seal(Void{});
    });
    return guarantee;
}
}  // namespace

Guarantee<Void> after(double seconds) { return armed(platform::DispatchTime::now() + seconds); }

Guarantee<Void> after(platform::DispatchTimeInterval interval) {
    return armed(platform::DispatchTime::now() + interval);
}

}  // namespace Pledge
