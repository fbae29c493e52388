// Each event reads its closure when it runs and calls it once if it is set.
#include "Hawser/ClosureEventMonitor.h"

#include "Hawser/UploadRequest.h"

namespace Hawser {

void ClosureEventMonitor::sessionDidBecomeInvalidWithError(const URLSessionPtr& a0, const platform::ErrorPtr& a1) {
    if (auto closure = sessionDidBecomeInvalidWithError()) closure(a0, a1);
}
void ClosureEventMonitor::taskDidReceiveChallenge(const URLSessionPtr& a0, const URLSessionTaskPtr& a1, const platform::URLAuthenticationChallengePtr& a2) {
    if (auto closure = taskDidReceiveChallenge()) closure(a0, a1, a2);
}
void ClosureEventMonitor::taskDidSendBodyData(const URLSessionPtr& a0, const URLSessionTaskPtr& a1, std::int64_t a2, std::int64_t a3, std::int64_t a4) {
    if (auto closure = taskDidSendBodyData()) closure(a0, a1, a2, a3, a4);
}
void ClosureEventMonitor::taskNeedNewBodyStream(const URLSessionPtr& a0, const URLSessionTaskPtr& a1) {
    if (auto closure = taskNeedNewBodyStream()) closure(a0, a1);
}
void ClosureEventMonitor::taskWillPerformHTTPRedirection(const URLSessionPtr& a0, const URLSessionTaskPtr& a1, const HTTPURLResponsePtr& a2, const URLRequest& a3) {
    if (auto closure = taskWillPerformHTTPRedirection()) closure(a0, a1, a2, a3);
}
void ClosureEventMonitor::taskDidFinishCollectingMetrics(const URLSessionPtr& a0, const URLSessionTaskPtr& a1, const URLSessionTaskMetricsPtr& a2) {
    if (auto closure = taskDidFinishCollectingMetrics()) closure(a0, a1, a2);
}
void ClosureEventMonitor::taskDidComplete(const URLSessionPtr& a0, const URLSessionTaskPtr& a1, const platform::ErrorPtr& a2) {
    if (auto closure = taskDidComplete()) closure(a0, a1, a2);
}
void ClosureEventMonitor::taskIsWaitingForConnectivity(const URLSessionPtr& a0, const URLSessionTaskPtr& a1) {
    if (auto closure = taskIsWaitingForConnectivity()) closure(a0, a1);
}
void ClosureEventMonitor::dataTaskDidReceiveData(const URLSessionPtr& a0, const URLSessionDataTaskPtr& a1, const platform::Data& a2) {
    if (auto closure = dataTaskDidReceiveData()) closure(a0, a1, a2);
}
void ClosureEventMonitor::dataTaskWillCacheResponse(const URLSessionPtr& a0, const URLSessionDataTaskPtr& a1, const platform::CachedURLResponsePtr& a2) {
    if (auto closure = dataTaskWillCacheResponse()) closure(a0, a1, a2);
}
void ClosureEventMonitor::downloadTaskDidFinishDownloadingToURL(const URLSessionPtr& a0, const URLSessionDownloadTaskPtr& a1, const platform::URL& a2) {
    if (auto closure = downloadTaskDidFinishDownloadingToURL()) closure(a0, a1, a2);
}
void ClosureEventMonitor::downloadTaskDidWriteData(const URLSessionPtr& a0, const URLSessionDownloadTaskPtr& a1, std::int64_t a2, std::int64_t a3, std::int64_t a4) {
    if (auto closure = downloadTaskDidWriteData()) closure(a0, a1, a2, a3, a4);
}
void ClosureEventMonitor::downloadTaskDidResumeAtOffset(const URLSessionPtr& a0, const URLSessionDownloadTaskPtr& a1, std::int64_t a2, std::int64_t a3) {
    if (auto closure = downloadTaskDidResumeAtOffset()) closure(a0, a1, a2, a3);
}
void ClosureEventMonitor::requestDidCreateInitialURLRequest(const RequestPtr& a0, const URLRequest& a1) {
    if (auto closure = requestDidCreateInitialURLRequest()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidFailToCreateURLRequestWithError(const RequestPtr& a0, const HWError& a1) {
    if (auto closure = requestDidFailToCreateURLRequestWithError()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidAdaptInitialRequestToAdaptedRequest(const RequestPtr& a0, const URLRequest& a1, const URLRequest& a2) {
    if (auto closure = requestDidAdaptInitialRequestToAdaptedRequest()) closure(a0, a1, a2);
}
void ClosureEventMonitor::requestDidFailToAdaptURLRequestWithError(const RequestPtr& a0, const URLRequest& a1, const HWError& a2) {
    if (auto closure = requestDidFailToAdaptURLRequestWithError()) closure(a0, a1, a2);
}
void ClosureEventMonitor::requestDidCreateURLRequest(const RequestPtr& a0, const URLRequest& a1) {
    if (auto closure = requestDidCreateURLRequest()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidCreateTask(const RequestPtr& a0, const URLSessionTaskPtr& a1) {
    if (auto closure = requestDidCreateTask()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidGatherMetrics(const RequestPtr& a0, const URLSessionTaskMetricsPtr& a1) {
    if (auto closure = requestDidGatherMetrics()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidFailTaskEarlyWithError(const RequestPtr& a0, const URLSessionTaskPtr& a1, const HWError& a2) {
    if (auto closure = requestDidFailTaskEarlyWithError()) closure(a0, a1, a2);
}
void ClosureEventMonitor::requestDidCompleteTaskWithError(const RequestPtr& a0, const URLSessionTaskPtr& a1, const std::optional<HWError>& a2) {
    if (auto closure = requestDidCompleteTaskWithError()) closure(a0, a1, a2);
}
void ClosureEventMonitor::requestIsRetrying(const RequestPtr& a0) {
    if (auto closure = requestIsRetrying()) closure(a0);
}
void ClosureEventMonitor::requestDidFinish(const RequestPtr& a0) {
    if (auto closure = requestDidFinish()) closure(a0);
}
void ClosureEventMonitor::requestDidResume(const RequestPtr& a0) {
    if (auto closure = requestDidResume()) closure(a0);
}
void ClosureEventMonitor::requestDidResumeTask(const RequestPtr& a0, const URLSessionTaskPtr& a1) {
    if (auto closure = requestDidResumeTask()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidSuspend(const RequestPtr& a0) {
    if (auto closure = requestDidSuspend()) closure(a0);
}
void ClosureEventMonitor::requestDidSuspendTask(const RequestPtr& a0, const URLSessionTaskPtr& a1) {
    if (auto closure = requestDidSuspendTask()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidCancel(const RequestPtr& a0) {
    if (auto closure = requestDidCancel()) closure(a0);
}
void ClosureEventMonitor::requestDidCancelTask(const RequestPtr& a0, const URLSessionTaskPtr& a1) {
    if (auto closure = requestDidCancelTask()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidValidateRequestResponseDataWithResult(const DataRequestPtr& a0, const std::optional<URLRequest>& a1, const HTTPURLResponsePtr& a2, const std::optional<platform::Data>& a3, const ValidationResult& a4) {
    if (auto closure = requestDidValidateRequestResponseDataWithResult()) closure(a0, a1, a2, a3, a4);
}
void ClosureEventMonitor::requestDidParseResponse(const DataRequestPtr& a0, const DataResponse<std::optional<platform::Data>, HWError>& a1) {
    if (auto closure = requestDidParseResponse()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidValidateRequestResponseWithResult(const DataStreamRequestPtr& a0, const std::optional<URLRequest>& a1, const HTTPURLResponsePtr& a2, const ValidationResult& a3) {
    if (auto closure = requestDidValidateRequestResponseWithResult()) closure(a0, a1, a2, a3);
}
void ClosureEventMonitor::requestDidCreateUploadable(const UploadRequestPtr& a0, const Uploadable& a1) {
    if (auto closure = requestDidCreateUploadable()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidFailToCreateUploadableWithError(const UploadRequestPtr& a0, const HWError& a1) {
    if (auto closure = requestDidFailToCreateUploadableWithError()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidProvideInputStream(const UploadRequestPtr& a0, const platform::InputStreamPtr& a1) {
    if (auto closure = requestDidProvideInputStream()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidFinishDownloadingUsingTaskWithResult(const DownloadRequestPtr& a0, const URLSessionTaskPtr& a1, const platform::Result<platform::URL, HWError>& a2) {
    if (auto closure = requestDidFinishDownloadingUsingTaskWithResult()) closure(a0, a1, a2);
}
void ClosureEventMonitor::requestDidCreateDestinationURL(const DownloadRequestPtr& a0, const platform::URL& a1) {
    if (auto closure = requestDidCreateDestinationURL()) closure(a0, a1);
}
void ClosureEventMonitor::requestDidValidateRequestResponseFileURLWithResult(const DownloadRequestPtr& a0, const std::optional<URLRequest>& a1, const HTTPURLResponsePtr& a2, const std::optional<platform::URL>& a3, const ValidationResult& a4) {
    if (auto closure = requestDidValidateRequestResponseFileURLWithResult()) closure(a0, a1, a2, a3, a4);
}
void ClosureEventMonitor::requestDidParseDownloadResponse(const DownloadRequestPtr& a0, const DownloadResponse<std::optional<platform::URL>, HWError>& a1) {
    if (auto closure = requestDidParseDownloadResponse()) closure(a0, a1);
}

}  // namespace Hawser
