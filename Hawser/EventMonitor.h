// The observer interface of the HTTP engine: every notable moment of the URL session,
// its tasks and each request, with do-nothing defaults, and the composite that hands
// each event to a list of monitors on their own queues.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Hawser/EventList.h"
#include "Hawser/HWError.h"
#include "Hawser/Response.h"
#include "platform/base/Data.h"
#include "platform/base/Result.h"
#include "platform/base/Void.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/InputStream.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLCredential.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/net/URLSessionDelegate.h"
#include "platform/net/URLSessionTaskMetrics.h"

namespace Hawser {

class Request;
class DataRequest;
class DataStreamRequest;
class DownloadRequest;
class UploadRequest;
class Uploadable;
using RequestPtr = std::shared_ptr<Request>;
using DataRequestPtr = std::shared_ptr<DataRequest>;
using DataStreamRequestPtr = std::shared_ptr<DataStreamRequest>;
using DownloadRequestPtr = std::shared_ptr<DownloadRequest>;
using UploadRequestPtr = std::shared_ptr<UploadRequest>;

using platform::DispatchQueuePtr;
using platform::HTTPURLResponsePtr;
using platform::URLRequest;
using platform::URLSessionDataTaskPtr;
using platform::URLSessionDownloadTaskPtr;
using platform::URLSessionPtr;
using platform::URLSessionTaskPtr;

// A success-or-error outcome without a value (validations).
using ValidationResult = platform::Result<platform::Void>;

// Default event bodies name their arguments only to discard them.
template <class... Arguments>
inline void ignoreEventArguments(const Arguments&...) {}

class EventMonitor {
public:
    virtual ~EventMonitor() = default;

    // The queue this monitor wants its events on; the main queue by default.
    virtual DispatchQueuePtr queue() const { return platform::DispatchQueue::main(); }

    // One virtual per event (see EventList.h), each doing nothing by default.
#define HAWSER_DECLARE_EVENT(Name, name, parameters, arguments)                                                        \
    virtual void name parameters { ignoreEventArguments arguments; }
    HAWSER_EVENTS(HAWSER_DECLARE_EVENT, HAWSER_DECLARE_EVENT)
#undef HAWSER_DECLARE_EVENT
};
using EventMonitorPtr = std::shared_ptr<EventMonitor>;

// Hands every event to each of its monitors, in list order, each on the monitor's own
// queue, after one hop onto its serial queue "org.hawser.compositeEventMonitor"; that
// hop puts all events of one session into one order. Raising an event never waits.
class CompositeEventMonitor final : public EventMonitor {
public:
    static std::shared_ptr<CompositeEventMonitor> create(std::vector<EventMonitorPtr> monitors);
    explicit CompositeEventMonitor(std::vector<EventMonitorPtr> monitors);

    DispatchQueuePtr queue() const override { return queue_; }
    const std::vector<EventMonitorPtr>& monitors() const { return monitors_; }

#define HAWSER_DECLARE_EVENT(Name, name, parameters, arguments) void name parameters override;
    HAWSER_EVENTS(HAWSER_DECLARE_EVENT, HAWSER_DECLARE_EVENT)
#undef HAWSER_DECLARE_EVENT

private:
    // Submits `event` to the composite's queue, which hands it to every monitor's queue.
    void fanOut(std::function<void(EventMonitor&)> event);

    DispatchQueuePtr queue_;
    std::vector<EventMonitorPtr> monitors_;
};
using CompositeEventMonitorPtr = std::shared_ptr<CompositeEventMonitor>;

}  // namespace Hawser
