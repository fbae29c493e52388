// The instance pool: `logCapacity` blank events made once, lent out filled and taken
// back blank.
#include "TallockSDK/LogPool.h"

namespace TallockSDK {

std::shared_ptr<LogPool> LogPool::create(const TallockConfig& config) {
    return std::make_shared<LogPool>(config.logCapacity);
}

LogPool::LogPool(int logCapacity)
    : dispatchQueue(platform::DispatchQueue::create("PoolDispathcQueue", platform::DispatchQoS::default_)),
      semaphore(logCapacity) {
    items.reserve(static_cast<std::size_t>(logCapacity));
    for (int i = 0; i < logCapacity; ++i) items.push_back(std::make_shared<Event>());
}

EventPtr LogPool::get(const Event& event) {
    if (semaphore.wait(platform::DispatchTime::now()) != platform::DispatchTimeoutResult::success) return nullptr;
    return dispatchQueue->sync([this, &event] {
        EventPtr instance = items.front();
        items.erase(items.begin());
        instance->assign(event);
        return instance;
    });
}

void LogPool::returnInstance(const EventPtr& instance) {
    instance->reset();
    items.push_back(instance);
    semaphore.signal();
}

std::size_t LogPool::freeCount() {
    return dispatchQueue->sync([this] { return items.size(); });
}

}  // namespace TallockSDK
