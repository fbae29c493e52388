// Queue helpers of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"

#include <cstdio>

namespace LumenAnalyticsSDK {

std::string LAQueueLabel(const std::string& prefix, const void* owner) {
    char address[32];
    std::snprintf(address, sizeof address, "%p", owner);
    return prefix + address;
}

bool LAIsCurrentQueue(const platform::DispatchQueuePtr& queue) {
    return queue && platform::DispatchQueue::currentLabel() == queue->label();
}

void LADispatchSyncOrInline(const platform::DispatchQueuePtr& queue, const std::function<void()>& block) {
    if (!queue || !block) return;
    LADispatchSyncOrInlineResult(queue, block);
}

}  // namespace LumenAnalyticsSDK
