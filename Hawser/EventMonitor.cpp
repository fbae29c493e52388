// The composite monitor: one hop onto its serial queue, then one submission per monitor
// onto that monitor's queue, with the event's arguments copied into the closure.
#include "Hawser/EventMonitor.h"

#include "Hawser/UploadRequest.h"

namespace Hawser {

using platform::ErrorPtr;

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

// Each event captures its arguments by value: objects are retained, values copied.
#define HAWSER_FAN_OUT(call) fanOut([=](EventMonitor& m) { m.call; })

void CompositeEventMonitor::sessionDidBecomeInvalidWithError(const URLSessionPtr& s, const ErrorPtr& e) {
    HAWSER_FAN_OUT(sessionDidBecomeInvalidWithError(s, e));
}
void CompositeEventMonitor::taskDidReceiveChallenge(const URLSessionPtr& s, const URLSessionTaskPtr& t,
                                                    const platform::URLAuthenticationChallengePtr& c) {
    HAWSER_FAN_OUT(taskDidReceiveChallenge(s, t, c));
}
void CompositeEventMonitor::taskDidSendBodyData(const URLSessionPtr& s, const URLSessionTaskPtr& t,
                                                std::int64_t sent, std::int64_t total, std::int64_t expected) {
    HAWSER_FAN_OUT(taskDidSendBodyData(s, t, sent, total, expected));
}
void CompositeEventMonitor::taskNeedNewBodyStream(const URLSessionPtr& s, const URLSessionTaskPtr& t) {
    HAWSER_FAN_OUT(taskNeedNewBodyStream(s, t));
}
void CompositeEventMonitor::taskWillPerformHTTPRedirection(const URLSessionPtr& s, const URLSessionTaskPtr& t,
                                                           const HTTPURLResponsePtr& r, const URLRequest& q) {
    HAWSER_FAN_OUT(taskWillPerformHTTPRedirection(s, t, r, q));
}
void CompositeEventMonitor::taskDidFinishCollectingMetrics(const URLSessionPtr& s, const URLSessionTaskPtr& t,
                                                           const URLSessionTaskMetricsPtr& m2) {
    HAWSER_FAN_OUT(taskDidFinishCollectingMetrics(s, t, m2));
}
void CompositeEventMonitor::taskDidComplete(const URLSessionPtr& s, const URLSessionTaskPtr& t, const ErrorPtr& e) {
    HAWSER_FAN_OUT(taskDidComplete(s, t, e));
}
void CompositeEventMonitor::taskIsWaitingForConnectivity(const URLSessionPtr& s, const URLSessionTaskPtr& t) {
    HAWSER_FAN_OUT(taskIsWaitingForConnectivity(s, t));
}
void CompositeEventMonitor::dataTaskDidReceiveData(const URLSessionPtr& s, const URLSessionDataTaskPtr& t,
                                                   const platform::Data& d) {
    HAWSER_FAN_OUT(dataTaskDidReceiveData(s, t, d));
}
void CompositeEventMonitor::dataTaskWillCacheResponse(const URLSessionPtr& s, const URLSessionDataTaskPtr& t,
                                                      const platform::CachedURLResponsePtr& c) {
    HAWSER_FAN_OUT(dataTaskWillCacheResponse(s, t, c));
}
void CompositeEventMonitor::downloadTaskDidFinishDownloadingToURL(const URLSessionPtr& s,
                                                                  const URLSessionDownloadTaskPtr& t,
                                                                  const platform::URL& u) {
    HAWSER_FAN_OUT(downloadTaskDidFinishDownloadingToURL(s, t, u));
}
void CompositeEventMonitor::downloadTaskDidWriteData(const URLSessionPtr& s, const URLSessionDownloadTaskPtr& t,
                                                     std::int64_t written, std::int64_t total,
                                                     std::int64_t expected) {
    HAWSER_FAN_OUT(downloadTaskDidWriteData(s, t, written, total, expected));
}
void CompositeEventMonitor::downloadTaskDidResumeAtOffset(const URLSessionPtr& s, const URLSessionDownloadTaskPtr& t,
                                                          std::int64_t offset, std::int64_t expected) {
    HAWSER_FAN_OUT(downloadTaskDidResumeAtOffset(s, t, offset, expected));
}

void CompositeEventMonitor::requestDidCreateInitialURLRequest(const RequestPtr& r, const URLRequest& q) {
    HAWSER_FAN_OUT(requestDidCreateInitialURLRequest(r, q));
}
void CompositeEventMonitor::requestDidFailToCreateURLRequestWithError(const RequestPtr& r, const HWError& e) {
    HAWSER_FAN_OUT(requestDidFailToCreateURLRequestWithError(r, e));
}
void CompositeEventMonitor::requestDidAdaptInitialRequestToAdaptedRequest(const RequestPtr& r,
                                                                          const URLRequest& initial,
                                                                          const URLRequest& adapted) {
    HAWSER_FAN_OUT(requestDidAdaptInitialRequestToAdaptedRequest(r, initial, adapted));
}
void CompositeEventMonitor::requestDidFailToAdaptURLRequestWithError(const RequestPtr& r, const URLRequest& q,
                                                                     const HWError& e) {
    HAWSER_FAN_OUT(requestDidFailToAdaptURLRequestWithError(r, q, e));
}
void CompositeEventMonitor::requestDidCreateURLRequest(const RequestPtr& r, const URLRequest& q) {
    HAWSER_FAN_OUT(requestDidCreateURLRequest(r, q));
}
void CompositeEventMonitor::requestDidCreateTask(const RequestPtr& r, const URLSessionTaskPtr& t) {
    HAWSER_FAN_OUT(requestDidCreateTask(r, t));
}
void CompositeEventMonitor::requestDidGatherMetrics(const RequestPtr& r, const URLSessionTaskMetricsPtr& m2) {
    HAWSER_FAN_OUT(requestDidGatherMetrics(r, m2));
}
void CompositeEventMonitor::requestDidFailTaskEarlyWithError(const RequestPtr& r, const URLSessionTaskPtr& t,
                                                             const HWError& e) {
    HAWSER_FAN_OUT(requestDidFailTaskEarlyWithError(r, t, e));
}
void CompositeEventMonitor::requestDidCompleteTaskWithError(const RequestPtr& r, const URLSessionTaskPtr& t,
                                                            const std::optional<HWError>& e) {
    HAWSER_FAN_OUT(requestDidCompleteTaskWithError(r, t, e));
}
void CompositeEventMonitor::requestIsRetrying(const RequestPtr& r) { HAWSER_FAN_OUT(requestIsRetrying(r)); }
void CompositeEventMonitor::requestDidFinish(const RequestPtr& r) { HAWSER_FAN_OUT(requestDidFinish(r)); }
void CompositeEventMonitor::requestDidResume(const RequestPtr& r) { HAWSER_FAN_OUT(requestDidResume(r)); }
void CompositeEventMonitor::requestDidResumeTask(const RequestPtr& r, const URLSessionTaskPtr& t) {
    HAWSER_FAN_OUT(requestDidResumeTask(r, t));
}
void CompositeEventMonitor::requestDidSuspend(const RequestPtr& r) { HAWSER_FAN_OUT(requestDidSuspend(r)); }
void CompositeEventMonitor::requestDidSuspendTask(const RequestPtr& r, const URLSessionTaskPtr& t) {
    HAWSER_FAN_OUT(requestDidSuspendTask(r, t));
}
void CompositeEventMonitor::requestDidCancel(const RequestPtr& r) { HAWSER_FAN_OUT(requestDidCancel(r)); }
void CompositeEventMonitor::requestDidCancelTask(const RequestPtr& r, const URLSessionTaskPtr& t) {
    HAWSER_FAN_OUT(requestDidCancelTask(r, t));
}

void CompositeEventMonitor::requestDidValidateRequestResponseDataWithResult(
    const DataRequestPtr& r, const std::optional<URLRequest>& q, const HTTPURLResponsePtr& p,
    const std::optional<platform::Data>& d, const ValidationResult& v) {
    HAWSER_FAN_OUT(requestDidValidateRequestResponseDataWithResult(r, q, p, d, v));
}
void CompositeEventMonitor::requestDidValidateRequestResponseWithResult(const DataStreamRequestPtr& r,
                                                                        const std::optional<URLRequest>& q,
                                                                        const HTTPURLResponsePtr& p,
                                                                        const ValidationResult& v) {
    HAWSER_FAN_OUT(requestDidValidateRequestResponseWithResult(r, q, p, v));
}
void CompositeEventMonitor::requestDidCreateUploadable(const UploadRequestPtr& r, const Uploadable& u) {
    HAWSER_FAN_OUT(requestDidCreateUploadable(r, u));
}
void CompositeEventMonitor::requestDidFailToCreateUploadableWithError(const UploadRequestPtr& r, const HWError& e) {
    HAWSER_FAN_OUT(requestDidFailToCreateUploadableWithError(r, e));
}
void CompositeEventMonitor::requestDidProvideInputStream(const UploadRequestPtr& r,
                                                         const platform::InputStreamPtr& s) {
    HAWSER_FAN_OUT(requestDidProvideInputStream(r, s));
}
void CompositeEventMonitor::requestDidFinishDownloadingUsingTaskWithResult(
    const DownloadRequestPtr& r, const URLSessionTaskPtr& t, const platform::Result<platform::URL, HWError>& u) {
    HAWSER_FAN_OUT(requestDidFinishDownloadingUsingTaskWithResult(r, t, u));
}
void CompositeEventMonitor::requestDidCreateDestinationURL(const DownloadRequestPtr& r, const platform::URL& u) {
    HAWSER_FAN_OUT(requestDidCreateDestinationURL(r, u));
}
void CompositeEventMonitor::requestDidValidateRequestResponseFileURLWithResult(
    const DownloadRequestPtr& r, const std::optional<URLRequest>& q, const HTTPURLResponsePtr& p,
    const std::optional<platform::URL>& u, const ValidationResult& v) {
    HAWSER_FAN_OUT(requestDidValidateRequestResponseFileURLWithResult(r, q, p, u, v));
}

void CompositeEventMonitor::requestDidParseResponse(const DataRequestPtr& r,
                                                    const DataResponse<std::optional<platform::Data>, HWError>& p) {
    HAWSER_FAN_OUT(requestDidParseResponse(r, p));
}
void CompositeEventMonitor::requestDidParseResponseOfValue(const DataRequestPtr& r, const AnyDataResponse& p) {
    HAWSER_FAN_OUT(requestDidParseResponseOfValue(r, p));
}
void CompositeEventMonitor::requestDidParseStream(const DataStreamRequestPtr& r, const AnyResult& p) {
    HAWSER_FAN_OUT(requestDidParseStream(r, p));
}
void CompositeEventMonitor::requestDidParseDownloadResponse(
    const DownloadRequestPtr& r, const DownloadResponse<std::optional<platform::URL>, HWError>& p) {
    HAWSER_FAN_OUT(requestDidParseDownloadResponse(r, p));
}
void CompositeEventMonitor::requestDidParseDownloadResponseOfValue(const DownloadRequestPtr& r,
                                                                   const AnyDownloadResponse& p) {
    HAWSER_FAN_OUT(requestDidParseDownloadResponseOfValue(r, p));
}

#undef HAWSER_FAN_OUT

}  // namespace Hawser
