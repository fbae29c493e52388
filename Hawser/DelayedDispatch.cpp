// Running a callback once on a queue after a delay.
#include "Hawser/DelayedDispatch.h"

#include "platform/dispatch/DispatchTime.h"

namespace Hawser {

void after(const platform::DispatchQueuePtr& queue, double delay, std::function<void()> execute) {
    // The deadline is taken on the dispatch clock (monotonic), so a wall-clock change
    // cannot stretch or shorten a retry delay.
    queue->asyncAfter(platform::DispatchTime::now() + delay, std::move(execute));
}

}  // namespace Hawser
