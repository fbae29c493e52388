// Queue helpers of the analytics client.
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"

namespace LumenAnalyticsSDK {

bool LAIsCurrentQueue(const platform::DispatchQueuePtr& queue) {
    return queue && platform::DispatchQueue::currentLabel() == queue->label();
}

void LADispatchSyncOrInline(const platform::DispatchQueuePtr& queue, const std::function<void()>& block) {
    if (!queue || !block) return;
    LADispatchSyncOrInlineResult(queue, block);
}

}  // namespace LumenAnalyticsSDK
