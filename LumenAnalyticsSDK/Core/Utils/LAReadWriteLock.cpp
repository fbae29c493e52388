// A reader/writer lock of the analytics client built on a concurrent queue.
#include "LumenAnalyticsSDK/Core/Utils/LAReadWriteLock.h"

#include <cstdio>

namespace LumenAnalyticsSDK {
namespace {

std::string addressText(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

}  // namespace

LAReadWriteLock::LAReadWriteLock(const std::string& queueLabel) {
    std::string label = queueLabel.empty() ? "com.lumen.readWriteLock." + addressText(this) : queueLabel;
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
