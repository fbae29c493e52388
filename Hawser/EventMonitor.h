// The observer interface of the HTTP engine: every notable moment of the URL session,
// its tasks and each request, with do-nothing defaults, and the composite that hands
// each event to a list of monitors on their own queues.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

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
using platform::URLSessionPtr;
using platform::URLSessionTaskPtr;
using platform::URLSessionDataTaskPtr;
using platform::URLSessionDownloadTaskPtr;
using platform::URLRequest;
using platform::HTTPURLResponsePtr;

// A success-or-error outcome without a value (validations).
using ValidationResult = platform::Result<platform::Void>;

class EventMonitor {
public:
    virtual ~EventMonitor() = default;

    // The queue this monitor wants its events on; the main queue by default.
    virtual DispatchQueuePtr queue() const { return platform::DispatchQueue::main(); }

    // URL session and task events, as the session delegate reports them.
    virtual void sessionDidBecomeInvalidWithError(const URLSessionPtr&, const platform::ErrorPtr&) {}
    virtual void taskDidReceiveChallenge(const URLSessionPtr&, const URLSessionTaskPtr&,
                                         const platform::URLAuthenticationChallengePtr&) {}
    virtual void taskDidSendBodyData(const URLSessionPtr&, const URLSessionTaskPtr&, std::int64_t /*bytesSent*/,
                                     std::int64_t /*totalBytesSent*/, std::int64_t /*totalBytesExpectedToSend*/) {}
    virtual void taskNeedNewBodyStream(const URLSessionPtr&, const URLSessionTaskPtr&) {}
    virtual void taskWillPerformHTTPRedirection(const URLSessionPtr&, const URLSessionTaskPtr&,
                                                const HTTPURLResponsePtr&, const URLRequest&) {}
    virtual void taskDidFinishCollectingMetrics(const URLSessionPtr&, const URLSessionTaskPtr&,
                                                const URLSessionTaskMetricsPtr&) {}
    virtual void taskDidComplete(const URLSessionPtr&, const URLSessionTaskPtr&, const platform::ErrorPtr&) {}
    virtual void taskIsWaitingForConnectivity(const URLSessionPtr&, const URLSessionTaskPtr&) {}
    virtual void dataTaskDidReceiveData(const URLSessionPtr&, const URLSessionDataTaskPtr&, const platform::Data&) {}
    virtual void dataTaskWillCacheResponse(const URLSessionPtr&, const URLSessionDataTaskPtr&,
                                           const platform::CachedURLResponsePtr&) {}
    virtual void downloadTaskDidFinishDownloadingToURL(const URLSessionPtr&, const URLSessionDownloadTaskPtr&,
                                                       const platform::URL&) {}
    virtual void downloadTaskDidWriteData(const URLSessionPtr&, const URLSessionDownloadTaskPtr&,
                                          std::int64_t /*bytesWritten*/, std::int64_t /*totalBytesWritten*/,
                                          std::int64_t /*totalBytesExpectedToWrite*/) {}
    virtual void downloadTaskDidResumeAtOffset(const URLSessionPtr&, const URLSessionDownloadTaskPtr&,
                                               std::int64_t /*fileOffset*/, std::int64_t /*expectedTotalBytes*/) {}

    // Request events.
    virtual void requestDidCreateInitialURLRequest(const RequestPtr&, const URLRequest&) {}
    virtual void requestDidFailToCreateURLRequestWithError(const RequestPtr&, const HWError&) {}
    virtual void requestDidAdaptInitialRequestToAdaptedRequest(const RequestPtr&, const URLRequest& /*initial*/,
                                                               const URLRequest& /*adapted*/) {}
    virtual void requestDidFailToAdaptURLRequestWithError(const RequestPtr&, const URLRequest&, const HWError&) {}
    virtual void requestDidCreateURLRequest(const RequestPtr&, const URLRequest&) {}
    virtual void requestDidCreateTask(const RequestPtr&, const URLSessionTaskPtr&) {}
    virtual void requestDidGatherMetrics(const RequestPtr&, const URLSessionTaskMetricsPtr&) {}
    virtual void requestDidFailTaskEarlyWithError(const RequestPtr&, const URLSessionTaskPtr&, const HWError&) {}
    virtual void requestDidCompleteTaskWithError(const RequestPtr&, const URLSessionTaskPtr&,
                                                 const std::optional<HWError>&) {}
    virtual void requestIsRetrying(const RequestPtr&) {}
    virtual void requestDidFinish(const RequestPtr&) {}
    virtual void requestDidResume(const RequestPtr&) {}
    virtual void requestDidResumeTask(const RequestPtr&, const URLSessionTaskPtr&) {}
    virtual void requestDidSuspend(const RequestPtr&) {}
    virtual void requestDidSuspendTask(const RequestPtr&, const URLSessionTaskPtr&) {}
    virtual void requestDidCancel(const RequestPtr&) {}
    virtual void requestDidCancelTask(const RequestPtr&, const URLSessionTaskPtr&) {}

    // Data request events.
    virtual void requestDidValidateRequestResponseDataWithResult(const DataRequestPtr&,
                                                                 const std::optional<URLRequest>&,
                                                                 const HTTPURLResponsePtr&,
                                                                 const std::optional<platform::Data>&,
                                                                 const ValidationResult&) {}
    virtual void requestDidParseResponse(const DataRequestPtr&,
                                         const DataResponse<std::optional<platform::Data>, HWError>&) {}
    // Generic over the serialised value: the response is seen through its type-erased view.
    virtual void requestDidParseResponseOfValue(const DataRequestPtr&, const AnyDataResponse&) {}

    // Stream request events.
    virtual void requestDidValidateRequestResponseWithResult(const DataStreamRequestPtr&,
                                                             const std::optional<URLRequest>&,
                                                             const HTTPURLResponsePtr&, const ValidationResult&) {}
    virtual void requestDidParseStream(const DataStreamRequestPtr&, const AnyResult&) {}

    // Upload request events.
    virtual void requestDidCreateUploadable(const UploadRequestPtr&, const Uploadable&) {}
    virtual void requestDidFailToCreateUploadableWithError(const UploadRequestPtr&, const HWError&) {}
    virtual void requestDidProvideInputStream(const UploadRequestPtr&, const platform::InputStreamPtr&) {}

    // Download request events.
    virtual void requestDidFinishDownloadingUsingTaskWithResult(const DownloadRequestPtr&, const URLSessionTaskPtr&,
                                                                const platform::Result<platform::URL, HWError>&) {}
    virtual void requestDidCreateDestinationURL(const DownloadRequestPtr&, const platform::URL&) {}
    virtual void requestDidValidateRequestResponseFileURLWithResult(const DownloadRequestPtr&,
                                                                    const std::optional<URLRequest>&,
                                                                    const HTTPURLResponsePtr&,
                                                                    const std::optional<platform::URL>&,
                                                                    const ValidationResult&) {}
    virtual void requestDidParseDownloadResponse(const DownloadRequestPtr&,
                                                 const DownloadResponse<std::optional<platform::URL>, HWError>&) {}
    virtual void requestDidParseDownloadResponseOfValue(const DownloadRequestPtr&, const AnyDownloadResponse&) {}
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

    void sessionDidBecomeInvalidWithError(const URLSessionPtr&, const platform::ErrorPtr&) override;
    void taskDidReceiveChallenge(const URLSessionPtr&, const URLSessionTaskPtr&,
                                 const platform::URLAuthenticationChallengePtr&) override;
    void taskDidSendBodyData(const URLSessionPtr&, const URLSessionTaskPtr&, std::int64_t, std::int64_t,
                             std::int64_t) override;
    void taskNeedNewBodyStream(const URLSessionPtr&, const URLSessionTaskPtr&) override;
    void taskWillPerformHTTPRedirection(const URLSessionPtr&, const URLSessionTaskPtr&, const HTTPURLResponsePtr&,
                                        const URLRequest&) override;
    void taskDidFinishCollectingMetrics(const URLSessionPtr&, const URLSessionTaskPtr&,
                                        const URLSessionTaskMetricsPtr&) override;
    void taskDidComplete(const URLSessionPtr&, const URLSessionTaskPtr&, const platform::ErrorPtr&) override;
    void taskIsWaitingForConnectivity(const URLSessionPtr&, const URLSessionTaskPtr&) override;
    void dataTaskDidReceiveData(const URLSessionPtr&, const URLSessionDataTaskPtr&, const platform::Data&) override;
    void dataTaskWillCacheResponse(const URLSessionPtr&, const URLSessionDataTaskPtr&,
                                   const platform::CachedURLResponsePtr&) override;
    void downloadTaskDidFinishDownloadingToURL(const URLSessionPtr&, const URLSessionDownloadTaskPtr&,
                                               const platform::URL&) override;
    void downloadTaskDidWriteData(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, std::int64_t, std::int64_t,
                                  std::int64_t) override;
    void downloadTaskDidResumeAtOffset(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, std::int64_t,
                                       std::int64_t) override;

    void requestDidCreateInitialURLRequest(const RequestPtr&, const URLRequest&) override;
    void requestDidFailToCreateURLRequestWithError(const RequestPtr&, const HWError&) override;
    void requestDidAdaptInitialRequestToAdaptedRequest(const RequestPtr&, const URLRequest&,
                                                       const URLRequest&) override;
    void requestDidFailToAdaptURLRequestWithError(const RequestPtr&, const URLRequest&, const HWError&) override;
    void requestDidCreateURLRequest(const RequestPtr&, const URLRequest&) override;
    void requestDidCreateTask(const RequestPtr&, const URLSessionTaskPtr&) override;
    void requestDidGatherMetrics(const RequestPtr&, const URLSessionTaskMetricsPtr&) override;
    void requestDidFailTaskEarlyWithError(const RequestPtr&, const URLSessionTaskPtr&, const HWError&) override;
    void requestDidCompleteTaskWithError(const RequestPtr&, const URLSessionTaskPtr&,
                                         const std::optional<HWError>&) override;
    void requestIsRetrying(const RequestPtr&) override;
    void requestDidFinish(const RequestPtr&) override;
    void requestDidResume(const RequestPtr&) override;
    void requestDidResumeTask(const RequestPtr&, const URLSessionTaskPtr&) override;
    void requestDidSuspend(const RequestPtr&) override;
    void requestDidSuspendTask(const RequestPtr&, const URLSessionTaskPtr&) override;
    void requestDidCancel(const RequestPtr&) override;
    void requestDidCancelTask(const RequestPtr&, const URLSessionTaskPtr&) override;

    void requestDidValidateRequestResponseDataWithResult(const DataRequestPtr&, const std::optional<URLRequest>&,
                                                         const HTTPURLResponsePtr&,
                                                         const std::optional<platform::Data>&,
                                                         const ValidationResult&) override;
    void requestDidParseResponse(const DataRequestPtr&,
                                 const DataResponse<std::optional<platform::Data>, HWError>&) override;
    void requestDidParseResponseOfValue(const DataRequestPtr&, const AnyDataResponse&) override;
    void requestDidValidateRequestResponseWithResult(const DataStreamRequestPtr&, const std::optional<URLRequest>&,
                                                     const HTTPURLResponsePtr&, const ValidationResult&) override;
    void requestDidParseStream(const DataStreamRequestPtr&, const AnyResult&) override;
    void requestDidCreateUploadable(const UploadRequestPtr&, const Uploadable&) override;
    void requestDidFailToCreateUploadableWithError(const UploadRequestPtr&, const HWError&) override;
    void requestDidProvideInputStream(const UploadRequestPtr&, const platform::InputStreamPtr&) override;
    void requestDidFinishDownloadingUsingTaskWithResult(const DownloadRequestPtr&, const URLSessionTaskPtr&,
                                                        const platform::Result<platform::URL, HWError>&) override;
    void requestDidCreateDestinationURL(const DownloadRequestPtr&, const platform::URL&) override;
    void requestDidValidateRequestResponseFileURLWithResult(const DownloadRequestPtr&,
                                                            const std::optional<URLRequest>&,
                                                            const HTTPURLResponsePtr&,
                                                            const std::optional<platform::URL>&,
                                                            const ValidationResult&) override;
    void requestDidParseDownloadResponse(const DownloadRequestPtr&,
                                         const DownloadResponse<std::optional<platform::URL>, HWError>&) override;
    void requestDidParseDownloadResponseOfValue(const DownloadRequestPtr&, const AnyDownloadResponse&) override;

private:
    // Submits `event` to the composite's queue, which hands it to every monitor's queue.
    void fanOut(std::function<void(EventMonitor&)> event);

    DispatchQueuePtr queue_;
    std::vector<EventMonitorPtr> monitors_;
};
using CompositeEventMonitorPtr = std::shared_ptr<CompositeEventMonitor>;

}  // namespace Hawser
