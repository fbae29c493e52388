// The element-independent pieces of a stream: resuming its consumer, and the error of a
// second consumer.
#include "platform/concurrency/AsyncStream.h"

#include "platform/base/Fatal.h"

namespace platform::detail {

void StreamWaiter::resume() const { resumeIn(task, handle); }

void twoConsumersOfOneStream() { platform::fatal("Two tasks iterate one asynchronous stream at the same time."); }

}  // namespace platform::detail
