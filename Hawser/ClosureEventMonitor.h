// A ready-made monitor holding one optional closure per event: an event calls its
// closure, if set, with the event's arguments. The three events generic over a
// serialised value have no closure and do nothing here.
#pragma once
#include <functional>

#include "Hawser/EventMonitor.h"

namespace Hawser {

class ClosureEventMonitor : public EventMonitor {
public:
    using SessionDidBecomeInvalidWithErrorClosure = std::function<void(const URLSessionPtr&,
        const platform::ErrorPtr&)>;
    using TaskDidReceiveChallengeClosure = std::function<void(const URLSessionPtr&, const URLSessionTaskPtr&,
        const platform::URLAuthenticationChallengePtr&)>;
    using TaskDidSendBodyDataClosure = std::function<void(const URLSessionPtr&, const URLSessionTaskPtr&,
        std::int64_t, std::int64_t, std::int64_t)>;
    using TaskNeedNewBodyStreamClosure = std::function<void(const URLSessionPtr&, const URLSessionTaskPtr&)>;
    using TaskWillPerformHTTPRedirectionClosure = std::function<void(const URLSessionPtr&, const URLSessionTaskPtr&,
        const HTTPURLResponsePtr&, const URLRequest&)>;
    using TaskDidFinishCollectingMetricsClosure = std::function<void(const URLSessionPtr&, const URLSessionTaskPtr&,
        const URLSessionTaskMetricsPtr&)>;
    using TaskDidCompleteClosure = std::function<void(const URLSessionPtr&, const URLSessionTaskPtr&,
        const platform::ErrorPtr&)>;
    using TaskIsWaitingForConnectivityClosure = std::function<void(const URLSessionPtr&, const URLSessionTaskPtr&)>;
    using DataTaskDidReceiveDataClosure = std::function<void(const URLSessionPtr&, const URLSessionDataTaskPtr&,
        const platform::Data&)>;
    using DataTaskWillCacheResponseClosure = std::function<void(const URLSessionPtr&, const URLSessionDataTaskPtr&,
        const platform::CachedURLResponsePtr&)>;
    using DownloadTaskDidFinishDownloadingToURLClosure = std::function<void(const URLSessionPtr&,
        const URLSessionDownloadTaskPtr&, const platform::URL&)>;
    using DownloadTaskDidWriteDataClosure = std::function<void(const URLSessionPtr&, const URLSessionDownloadTaskPtr&,
        std::int64_t, std::int64_t, std::int64_t)>;
    using DownloadTaskDidResumeAtOffsetClosure = std::function<void(const URLSessionPtr&,
        const URLSessionDownloadTaskPtr&, std::int64_t, std::int64_t)>;
    using RequestDidCreateInitialURLRequestClosure = std::function<void(const RequestPtr&, const URLRequest&)>;
    using RequestDidFailToCreateURLRequestWithErrorClosure = std::function<void(const RequestPtr&, const HWError&)>;
    using RequestDidAdaptInitialRequestToAdaptedRequestClosure = std::function<void(const RequestPtr&,
        const URLRequest&, const URLRequest&)>;
    using RequestDidFailToAdaptURLRequestWithErrorClosure = std::function<void(const RequestPtr&, const URLRequest&,
        const HWError&)>;
    using RequestDidCreateURLRequestClosure = std::function<void(const RequestPtr&, const URLRequest&)>;
    using RequestDidCreateTaskClosure = std::function<void(const RequestPtr&, const URLSessionTaskPtr&)>;
    using RequestDidGatherMetricsClosure = std::function<void(const RequestPtr&, const URLSessionTaskMetricsPtr&)>;
    using RequestDidFailTaskEarlyWithErrorClosure = std::function<void(const RequestPtr&, const URLSessionTaskPtr&,
        const HWError&)>;
    using RequestDidCompleteTaskWithErrorClosure = std::function<void(const RequestPtr&, const URLSessionTaskPtr&,
        const std::optional<HWError>&)>;
    using RequestIsRetryingClosure = std::function<void(const RequestPtr&)>;
    using RequestDidFinishClosure = std::function<void(const RequestPtr&)>;
    using RequestDidResumeClosure = std::function<void(const RequestPtr&)>;
    using RequestDidResumeTaskClosure = std::function<void(const RequestPtr&, const URLSessionTaskPtr&)>;
    using RequestDidSuspendClosure = std::function<void(const RequestPtr&)>;
    using RequestDidSuspendTaskClosure = std::function<void(const RequestPtr&, const URLSessionTaskPtr&)>;
    using RequestDidCancelClosure = std::function<void(const RequestPtr&)>;
    using RequestDidCancelTaskClosure = std::function<void(const RequestPtr&, const URLSessionTaskPtr&)>;
    using RequestDidValidateRequestResponseDataWithResultClosure = std::function<void(const DataRequestPtr&,
        const std::optional<URLRequest>&, const HTTPURLResponsePtr&, const std::optional<platform::Data>&,
        const ValidationResult&)>;
    using RequestDidParseResponseClosure = std::function<void(const DataRequestPtr&,
        const DataResponse<std::optional<platform::Data>, HWError>&)>;
    using RequestDidValidateRequestResponseWithResultClosure = std::function<void(const DataStreamRequestPtr&,
        const std::optional<URLRequest>&, const HTTPURLResponsePtr&, const ValidationResult&)>;
    using RequestDidCreateUploadableClosure = std::function<void(const UploadRequestPtr&, const Uploadable&)>;
    using RequestDidFailToCreateUploadableWithErrorClosure = std::function<void(const UploadRequestPtr&,
        const HWError&)>;
    using RequestDidProvideInputStreamClosure = std::function<void(const UploadRequestPtr&,
        const platform::InputStreamPtr&)>;
    using RequestDidFinishDownloadingUsingTaskWithResultClosure = std::function<void(const DownloadRequestPtr&,
        const URLSessionTaskPtr&, const platform::Result<platform::URL, HWError>&)>;
    using RequestDidCreateDestinationURLClosure = std::function<void(const DownloadRequestPtr&,
        const platform::URL&)>;
    using RequestDidValidateRequestResponseFileURLWithResultClosure = std::function<void(const DownloadRequestPtr&,
        const std::optional<URLRequest>&, const HTTPURLResponsePtr&, const std::optional<platform::URL>&,
        const ValidationResult&)>;
    using RequestDidParseDownloadResponseClosure = std::function<void(const DownloadRequestPtr&,
        const DownloadResponse<std::optional<platform::URL>, HWError>&)>;

    // The caller chooses the queue; nothing is defaulted.
    explicit ClosureEventMonitor(DispatchQueuePtr queue) : queue_(std::move(queue)) {}

    DispatchQueuePtr queue() const override { return queue_; }

    // One closure per event, read through its getter (so a subclass may supply closures
    // by overriding getters). Set them before the monitor is handed to a session, or
    // only on its own queue: an event sees the closure set when it runs there.
    virtual SessionDidBecomeInvalidWithErrorClosure sessionDidBecomeInvalidWithError() const {
        return sessionDidBecomeInvalidWithError_;
    }
    virtual void setSessionDidBecomeInvalidWithError(SessionDidBecomeInvalidWithErrorClosure c) {
        sessionDidBecomeInvalidWithError_ = std::move(c);
    }
    virtual TaskDidReceiveChallengeClosure taskDidReceiveChallenge() const { return taskDidReceiveChallenge_; }
    virtual void setTaskDidReceiveChallenge(TaskDidReceiveChallengeClosure c) {
        taskDidReceiveChallenge_ = std::move(c);
    }
    virtual TaskDidSendBodyDataClosure taskDidSendBodyData() const { return taskDidSendBodyData_; }
    virtual void setTaskDidSendBodyData(TaskDidSendBodyDataClosure c) { taskDidSendBodyData_ = std::move(c); }
    virtual TaskNeedNewBodyStreamClosure taskNeedNewBodyStream() const { return taskNeedNewBodyStream_; }
    virtual void setTaskNeedNewBodyStream(TaskNeedNewBodyStreamClosure c) { taskNeedNewBodyStream_ = std::move(c); }
    virtual TaskWillPerformHTTPRedirectionClosure taskWillPerformHTTPRedirection() const {
        return taskWillPerformHTTPRedirection_;
    }
    virtual void setTaskWillPerformHTTPRedirection(TaskWillPerformHTTPRedirectionClosure c) {
        taskWillPerformHTTPRedirection_ = std::move(c);
    }
    virtual TaskDidFinishCollectingMetricsClosure taskDidFinishCollectingMetrics() const {
        return taskDidFinishCollectingMetrics_;
    }
    virtual void setTaskDidFinishCollectingMetrics(TaskDidFinishCollectingMetricsClosure c) {
        taskDidFinishCollectingMetrics_ = std::move(c);
    }
    virtual TaskDidCompleteClosure taskDidComplete() const { return taskDidComplete_; }
    virtual void setTaskDidComplete(TaskDidCompleteClosure c) { taskDidComplete_ = std::move(c); }
    virtual TaskIsWaitingForConnectivityClosure taskIsWaitingForConnectivity() const {
        return taskIsWaitingForConnectivity_;
    }
    virtual void setTaskIsWaitingForConnectivity(TaskIsWaitingForConnectivityClosure c) {
        taskIsWaitingForConnectivity_ = std::move(c);
    }
    virtual DataTaskDidReceiveDataClosure dataTaskDidReceiveData() const { return dataTaskDidReceiveData_; }
    virtual void setDataTaskDidReceiveData(DataTaskDidReceiveDataClosure c) {
        dataTaskDidReceiveData_ = std::move(c);
    }
    virtual DataTaskWillCacheResponseClosure dataTaskWillCacheResponse() const { return dataTaskWillCacheResponse_; }
    virtual void setDataTaskWillCacheResponse(DataTaskWillCacheResponseClosure c) {
        dataTaskWillCacheResponse_ = std::move(c);
    }
    virtual DownloadTaskDidFinishDownloadingToURLClosure downloadTaskDidFinishDownloadingToURL() const {
        return downloadTaskDidFinishDownloadingToURL_;
    }
    virtual void setDownloadTaskDidFinishDownloadingToURL(DownloadTaskDidFinishDownloadingToURLClosure c) {
        downloadTaskDidFinishDownloadingToURL_ = std::move(c);
    }
    virtual DownloadTaskDidWriteDataClosure downloadTaskDidWriteData() const { return downloadTaskDidWriteData_; }
    virtual void setDownloadTaskDidWriteData(DownloadTaskDidWriteDataClosure c) {
        downloadTaskDidWriteData_ = std::move(c);
    }
    virtual DownloadTaskDidResumeAtOffsetClosure downloadTaskDidResumeAtOffset() const {
        return downloadTaskDidResumeAtOffset_;
    }
    virtual void setDownloadTaskDidResumeAtOffset(DownloadTaskDidResumeAtOffsetClosure c) {
        downloadTaskDidResumeAtOffset_ = std::move(c);
    }
    virtual RequestDidCreateInitialURLRequestClosure requestDidCreateInitialURLRequest() const {
        return requestDidCreateInitialURLRequest_;
    }
    virtual void setRequestDidCreateInitialURLRequest(RequestDidCreateInitialURLRequestClosure c) {
        requestDidCreateInitialURLRequest_ = std::move(c);
    }
    virtual RequestDidFailToCreateURLRequestWithErrorClosure requestDidFailToCreateURLRequestWithError() const {
        return requestDidFailToCreateURLRequestWithError_;
    }
    virtual void setRequestDidFailToCreateURLRequestWithError(RequestDidFailToCreateURLRequestWithErrorClosure c) {
        requestDidFailToCreateURLRequestWithError_ = std::move(c);
    }
    virtual RequestDidAdaptInitialRequestToAdaptedRequestClosure requestDidAdaptInitialRequestToAdaptedRequest() const {
        return requestDidAdaptInitialRequestToAdaptedRequest_;
    }
    virtual void setRequestDidAdaptInitialRequestToAdaptedRequest(RequestDidAdaptInitialRequestToAdaptedRequestClosure c) {
        requestDidAdaptInitialRequestToAdaptedRequest_ = std::move(c);
    }
    virtual RequestDidFailToAdaptURLRequestWithErrorClosure requestDidFailToAdaptURLRequestWithError() const {
        return requestDidFailToAdaptURLRequestWithError_;
    }
    virtual void setRequestDidFailToAdaptURLRequestWithError(RequestDidFailToAdaptURLRequestWithErrorClosure c) {
        requestDidFailToAdaptURLRequestWithError_ = std::move(c);
    }
    virtual RequestDidCreateURLRequestClosure requestDidCreateURLRequest() const {
        return requestDidCreateURLRequest_;
    }
    virtual void setRequestDidCreateURLRequest(RequestDidCreateURLRequestClosure c) {
        requestDidCreateURLRequest_ = std::move(c);
    }
    virtual RequestDidCreateTaskClosure requestDidCreateTask() const { return requestDidCreateTask_; }
    virtual void setRequestDidCreateTask(RequestDidCreateTaskClosure c) { requestDidCreateTask_ = std::move(c); }
    virtual RequestDidGatherMetricsClosure requestDidGatherMetrics() const { return requestDidGatherMetrics_; }
    virtual void setRequestDidGatherMetrics(RequestDidGatherMetricsClosure c) {
        requestDidGatherMetrics_ = std::move(c);
    }
    virtual RequestDidFailTaskEarlyWithErrorClosure requestDidFailTaskEarlyWithError() const {
        return requestDidFailTaskEarlyWithError_;
    }
    virtual void setRequestDidFailTaskEarlyWithError(RequestDidFailTaskEarlyWithErrorClosure c) {
        requestDidFailTaskEarlyWithError_ = std::move(c);
    }
    virtual RequestDidCompleteTaskWithErrorClosure requestDidCompleteTaskWithError() const {
        return requestDidCompleteTaskWithError_;
    }
    virtual void setRequestDidCompleteTaskWithError(RequestDidCompleteTaskWithErrorClosure c) {
        requestDidCompleteTaskWithError_ = std::move(c);
    }
    virtual RequestIsRetryingClosure requestIsRetrying() const { return requestIsRetrying_; }
    virtual void setRequestIsRetrying(RequestIsRetryingClosure c) { requestIsRetrying_ = std::move(c); }
    virtual RequestDidFinishClosure requestDidFinish() const { return requestDidFinish_; }
    virtual void setRequestDidFinish(RequestDidFinishClosure c) { requestDidFinish_ = std::move(c); }
    virtual RequestDidResumeClosure requestDidResume() const { return requestDidResume_; }
    virtual void setRequestDidResume(RequestDidResumeClosure c) { requestDidResume_ = std::move(c); }
    virtual RequestDidResumeTaskClosure requestDidResumeTask() const { return requestDidResumeTask_; }
    virtual void setRequestDidResumeTask(RequestDidResumeTaskClosure c) { requestDidResumeTask_ = std::move(c); }
    virtual RequestDidSuspendClosure requestDidSuspend() const { return requestDidSuspend_; }
    virtual void setRequestDidSuspend(RequestDidSuspendClosure c) { requestDidSuspend_ = std::move(c); }
    virtual RequestDidSuspendTaskClosure requestDidSuspendTask() const { return requestDidSuspendTask_; }
    virtual void setRequestDidSuspendTask(RequestDidSuspendTaskClosure c) { requestDidSuspendTask_ = std::move(c); }
    virtual RequestDidCancelClosure requestDidCancel() const { return requestDidCancel_; }
    virtual void setRequestDidCancel(RequestDidCancelClosure c) { requestDidCancel_ = std::move(c); }
    virtual RequestDidCancelTaskClosure requestDidCancelTask() const { return requestDidCancelTask_; }
    virtual void setRequestDidCancelTask(RequestDidCancelTaskClosure c) { requestDidCancelTask_ = std::move(c); }
    virtual RequestDidValidateRequestResponseDataWithResultClosure requestDidValidateRequestResponseDataWithResult() const {
        return requestDidValidateRequestResponseDataWithResult_;
    }
    virtual void setRequestDidValidateRequestResponseDataWithResult(RequestDidValidateRequestResponseDataWithResultClosure c) {
        requestDidValidateRequestResponseDataWithResult_ = std::move(c);
    }
    virtual RequestDidParseResponseClosure requestDidParseResponse() const { return requestDidParseResponse_; }
    virtual void setRequestDidParseResponse(RequestDidParseResponseClosure c) {
        requestDidParseResponse_ = std::move(c);
    }
    virtual RequestDidValidateRequestResponseWithResultClosure requestDidValidateRequestResponseWithResult() const {
        return requestDidValidateRequestResponseWithResult_;
    }
    virtual void setRequestDidValidateRequestResponseWithResult(RequestDidValidateRequestResponseWithResultClosure c) {
        requestDidValidateRequestResponseWithResult_ = std::move(c);
    }
    virtual RequestDidCreateUploadableClosure requestDidCreateUploadable() const {
        return requestDidCreateUploadable_;
    }
    virtual void setRequestDidCreateUploadable(RequestDidCreateUploadableClosure c) {
        requestDidCreateUploadable_ = std::move(c);
    }
    virtual RequestDidFailToCreateUploadableWithErrorClosure requestDidFailToCreateUploadableWithError() const {
        return requestDidFailToCreateUploadableWithError_;
    }
    virtual void setRequestDidFailToCreateUploadableWithError(RequestDidFailToCreateUploadableWithErrorClosure c) {
        requestDidFailToCreateUploadableWithError_ = std::move(c);
    }
    virtual RequestDidProvideInputStreamClosure requestDidProvideInputStream() const {
        return requestDidProvideInputStream_;
    }
    virtual void setRequestDidProvideInputStream(RequestDidProvideInputStreamClosure c) {
        requestDidProvideInputStream_ = std::move(c);
    }
    virtual RequestDidFinishDownloadingUsingTaskWithResultClosure requestDidFinishDownloadingUsingTaskWithResult() const {
        return requestDidFinishDownloadingUsingTaskWithResult_;
    }
    virtual void setRequestDidFinishDownloadingUsingTaskWithResult(RequestDidFinishDownloadingUsingTaskWithResultClosure c) {
        requestDidFinishDownloadingUsingTaskWithResult_ = std::move(c);
    }
    virtual RequestDidCreateDestinationURLClosure requestDidCreateDestinationURL() const {
        return requestDidCreateDestinationURL_;
    }
    virtual void setRequestDidCreateDestinationURL(RequestDidCreateDestinationURLClosure c) {
        requestDidCreateDestinationURL_ = std::move(c);
    }
    virtual RequestDidValidateRequestResponseFileURLWithResultClosure requestDidValidateRequestResponseFileURLWithResult() const {
        return requestDidValidateRequestResponseFileURLWithResult_;
    }
    virtual void setRequestDidValidateRequestResponseFileURLWithResult(RequestDidValidateRequestResponseFileURLWithResultClosure c) {
        requestDidValidateRequestResponseFileURLWithResult_ = std::move(c);
    }
    virtual RequestDidParseDownloadResponseClosure requestDidParseDownloadResponse() const {
        return requestDidParseDownloadResponse_;
    }
    virtual void setRequestDidParseDownloadResponse(RequestDidParseDownloadResponseClosure c) {
        requestDidParseDownloadResponse_ = std::move(c);
    }

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
        const HTTPURLResponsePtr&, const std::optional<platform::Data>&, const ValidationResult&) override;
    void requestDidParseResponse(const DataRequestPtr&,
        const DataResponse<std::optional<platform::Data>, HWError>&) override;
    void requestDidValidateRequestResponseWithResult(const DataStreamRequestPtr&, const std::optional<URLRequest>&,
        const HTTPURLResponsePtr&, const ValidationResult&) override;
    void requestDidCreateUploadable(const UploadRequestPtr&, const Uploadable&) override;
    void requestDidFailToCreateUploadableWithError(const UploadRequestPtr&, const HWError&) override;
    void requestDidProvideInputStream(const UploadRequestPtr&, const platform::InputStreamPtr&) override;
    void requestDidFinishDownloadingUsingTaskWithResult(const DownloadRequestPtr&, const URLSessionTaskPtr&,
        const platform::Result<platform::URL, HWError>&) override;
    void requestDidCreateDestinationURL(const DownloadRequestPtr&, const platform::URL&) override;
    void requestDidValidateRequestResponseFileURLWithResult(const DownloadRequestPtr&,
        const std::optional<URLRequest>&, const HTTPURLResponsePtr&, const std::optional<platform::URL>&,
        const ValidationResult&) override;
    void requestDidParseDownloadResponse(const DownloadRequestPtr&,
        const DownloadResponse<std::optional<platform::URL>, HWError>&) override;

private:
    DispatchQueuePtr queue_;
    SessionDidBecomeInvalidWithErrorClosure sessionDidBecomeInvalidWithError_;
    TaskDidReceiveChallengeClosure taskDidReceiveChallenge_;
    TaskDidSendBodyDataClosure taskDidSendBodyData_;
    TaskNeedNewBodyStreamClosure taskNeedNewBodyStream_;
    TaskWillPerformHTTPRedirectionClosure taskWillPerformHTTPRedirection_;
    TaskDidFinishCollectingMetricsClosure taskDidFinishCollectingMetrics_;
    TaskDidCompleteClosure taskDidComplete_;
    TaskIsWaitingForConnectivityClosure taskIsWaitingForConnectivity_;
    DataTaskDidReceiveDataClosure dataTaskDidReceiveData_;
    DataTaskWillCacheResponseClosure dataTaskWillCacheResponse_;
    DownloadTaskDidFinishDownloadingToURLClosure downloadTaskDidFinishDownloadingToURL_;
    DownloadTaskDidWriteDataClosure downloadTaskDidWriteData_;
    DownloadTaskDidResumeAtOffsetClosure downloadTaskDidResumeAtOffset_;
    RequestDidCreateInitialURLRequestClosure requestDidCreateInitialURLRequest_;
    RequestDidFailToCreateURLRequestWithErrorClosure requestDidFailToCreateURLRequestWithError_;
    RequestDidAdaptInitialRequestToAdaptedRequestClosure requestDidAdaptInitialRequestToAdaptedRequest_;
    RequestDidFailToAdaptURLRequestWithErrorClosure requestDidFailToAdaptURLRequestWithError_;
    RequestDidCreateURLRequestClosure requestDidCreateURLRequest_;
    RequestDidCreateTaskClosure requestDidCreateTask_;
    RequestDidGatherMetricsClosure requestDidGatherMetrics_;
    RequestDidFailTaskEarlyWithErrorClosure requestDidFailTaskEarlyWithError_;
    RequestDidCompleteTaskWithErrorClosure requestDidCompleteTaskWithError_;
    RequestIsRetryingClosure requestIsRetrying_;
    RequestDidFinishClosure requestDidFinish_;
    RequestDidResumeClosure requestDidResume_;
    RequestDidResumeTaskClosure requestDidResumeTask_;
    RequestDidSuspendClosure requestDidSuspend_;
    RequestDidSuspendTaskClosure requestDidSuspendTask_;
    RequestDidCancelClosure requestDidCancel_;
    RequestDidCancelTaskClosure requestDidCancelTask_;
    RequestDidValidateRequestResponseDataWithResultClosure requestDidValidateRequestResponseDataWithResult_;
    RequestDidParseResponseClosure requestDidParseResponse_;
    RequestDidValidateRequestResponseWithResultClosure requestDidValidateRequestResponseWithResult_;
    RequestDidCreateUploadableClosure requestDidCreateUploadable_;
    RequestDidFailToCreateUploadableWithErrorClosure requestDidFailToCreateUploadableWithError_;
    RequestDidProvideInputStreamClosure requestDidProvideInputStream_;
    RequestDidFinishDownloadingUsingTaskWithResultClosure requestDidFinishDownloadingUsingTaskWithResult_;
    RequestDidCreateDestinationURLClosure requestDidCreateDestinationURL_;
    RequestDidValidateRequestResponseFileURLWithResultClosure requestDidValidateRequestResponseFileURLWithResult_;
    RequestDidParseDownloadResponseClosure requestDidParseDownloadResponse_;
};

}  // namespace Hawser
