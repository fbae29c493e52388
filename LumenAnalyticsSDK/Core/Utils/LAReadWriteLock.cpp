// A reader/writer lock of the analytics client built on a concurrent queue.
#include "LumenAnalyticsSDK/Core/Utils/LAReadWriteLock.h"

#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"

namespace LumenAnalyticsSDK {

LAReadWriteLock::LAReadWriteLock(const std::string& queueLabel) {
    std::string label = queueLabel.empty() ? LAQueueLabel("com.lumen.readWriteLock.", this) : queueLabel;
    concurentQueue_ = platform::DispatchQueue::create(label, platform::DispatchQoS::unspecified,
                                                      platform::DispatchQueue::Attributes::concurrent);
}

platform::Value LAReadWriteLock::readWithBlock(const std::function<platform::Value()>& block) {
    if (!block) return {};
    return concurentQueue_->sync(block);
}

void LAReadWriteLock::writeWithBlock(std::function<void()> block) {
    if (!block) return;
    concurentQueue_->async(std::move(block), platform::DispatchWorkItemFlags::barrier);
}

}  // namespace LumenAnalyticsSDK
