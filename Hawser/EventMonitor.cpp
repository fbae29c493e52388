// The composite monitor: one hop onto its serial queue, then one submission per monitor
// onto that monitor's queue, with the event's arguments copied into the closure.
#include "Hawser/EventMonitor.h"

#include "Hawser/UploadRequest.h"

namespace Hawser {

CompositeEventMonitorPtr CompositeEventMonitor::create(std::vector<EventMonitorPtr> monitors) {
    return std::make_shared<CompositeEventMonitor>(std::move(monitors));
}

CompositeEventMonitor::CompositeEventMonitor(std::vector<EventMonitorPtr> monitors)
    : queue_(platform::DispatchQueue::create("org.hawser.compositeEventMonitor", platform::DispatchQoS::utility)),
      monitors_(std::move(monitors)) {}

void CompositeEventMonitor::fanOut(std::function<void(EventMonitor&)> event) {
    // The monitor list never changes, so the work item may read it without a lock; it
    // holds its own copy of the list so that the composite may go away meanwhile.
    queue_->async([monitors = monitors_, event = std::move(event)] {
        for (const auto& monitor : monitors) {
            monitor->queue()->async([monitor, event] { event(*monitor); });
        }
    });
}

// Each event captures its arguments by value (objects retained, values copied) and is
// replayed on every monitor.
#define HAWSER_FAN_OUT_EVENT(Name, name, parameters, arguments)                                                        \
    void CompositeEventMonitor::name parameters {                                                                      \
        fanOut([=](EventMonitor& monitor) { monitor.name arguments; });                                                \
    }
HAWSER_EVENTS(HAWSER_FAN_OUT_EVENT, HAWSER_FAN_OUT_EVENT)
#undef HAWSER_FAN_OUT_EVENT

}  // namespace Hawser
