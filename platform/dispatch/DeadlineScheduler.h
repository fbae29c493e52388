// One thread that hands blocks to their queues when their deadlines pass. Internal.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchTime.h"

namespace platform::detail {

class DeadlineScheduler {
public:
    static DeadlineScheduler& shared();

    // `submit` runs on the scheduler's thread once `deadline` has passed; entries due
    // together run in the order they were scheduled.
    void schedule(DispatchTime deadline, std::function<void()> submit);

private:
    friend class platform::NoDestructor<DeadlineScheduler>;
    DeadlineScheduler();
    void loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> entries_;
    std::uint64_t sequence_ = 0;
};

}  // namespace platform::detail
