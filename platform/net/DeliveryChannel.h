// What the I/O thread hands to the delegate queue without waiting for it: received bytes
// and progress figures, taken by whichever callback runs next.
#pragma once
#include <cstdint>
#include <mutex>

#include "platform/base/Data.h"
#include "platform/net/ProgressStepper.h"

namespace platform {

struct DeliveryChannel {
    std::mutex mutex;
    Data pending;
    bool dataScheduled = false;
    bool backpressured = false;
    bool holding = false;  // bytes wait until the delegate has answered the response
    bool uploadScheduled = false;
    std::int64_t uploadDelta = 0, uploadTotal = 0, uploadExpected = 0;
    // Download progress keeps its own lock.
    ProgressStepper downloadProgress;
};

}  // namespace platform
