// Every event the HTTP engine raises, written once. The monitor interface, the composite
// that fans events out and the closure-holding monitor are all expanded from this list,
// so adding an event is one line here.
//
// HAWSER_EVENTS(EVENT, VALUE_EVENT) calls
//   EVENT(Name, name, (typed parameters), (arguments))
// for each event whose arguments are concrete types, and VALUE_EVENT with the same shape
// for the three events generic over a serialised value (seen through a type-erased view).
// `Name` is the event's name capitalised, for derived names such as `NameClosure`.
#pragma once

#define HAWSER_SESSION_EVENTS(EVENT)                                                                                   \
    EVENT(SessionDidBecomeInvalidWithError, sessionDidBecomeInvalidWithError,                                          \
          (const URLSessionPtr& session, const platform::ErrorPtr& error), (session, error))                           \
    EVENT(TaskDidReceiveChallenge, taskDidReceiveChallenge,                                                            \
          (const URLSessionPtr& session, const URLSessionTaskPtr& task,                                                \
           const platform::URLAuthenticationChallengePtr& challenge),                                                  \
          (session, task, challenge))                                                                                  \
    EVENT(TaskDidSendBodyData, taskDidSendBodyData,                                                                    \
          (const URLSessionPtr& session, const URLSessionTaskPtr& task, std::int64_t bytesSent,                        \
           std::int64_t totalBytesSent, std::int64_t totalBytesExpectedToSend),                                        \
          (session, task, bytesSent, totalBytesSent, totalBytesExpectedToSend))                                        \
    EVENT(TaskNeedNewBodyStream, taskNeedNewBodyStream, (const URLSessionPtr& session, const URLSessionTaskPtr& task), \
          (session, task))                                                                                             \
    EVENT(TaskWillPerformHTTPRedirection, taskWillPerformHTTPRedirection,                                              \
          (const URLSessionPtr& session, const URLSessionTaskPtr& task, const HTTPURLResponsePtr& response,            \
           const URLRequest& request),                                                                                 \
          (session, task, response, request))                                                                          \
    EVENT(TaskDidFinishCollectingMetrics, taskDidFinishCollectingMetrics,                                              \
          (const URLSessionPtr& session, const URLSessionTaskPtr& task, const URLSessionTaskMetricsPtr& metrics),      \
          (session, task, metrics))                                                                                    \
    EVENT(TaskDidComplete, taskDidComplete,                                                                            \
          (const URLSessionPtr& session, const URLSessionTaskPtr& task, const platform::ErrorPtr& error),              \
          (session, task, error))                                                                                      \
    EVENT(TaskIsWaitingForConnectivity, taskIsWaitingForConnectivity,                                                  \
          (const URLSessionPtr& session, const URLSessionTaskPtr& task), (session, task))                              \
    EVENT(DataTaskDidReceiveData, dataTaskDidReceiveData,                                                              \
          (const URLSessionPtr& session, const URLSessionDataTaskPtr& task, const platform::Data& data),               \
          (session, task, data))                                                                                       \
    EVENT(DataTaskWillCacheResponse, dataTaskWillCacheResponse,                                                        \
          (const URLSessionPtr& session, const URLSessionDataTaskPtr& task,                                            \
           const platform::CachedURLResponsePtr& proposedResponse),                                                    \
          (session, task, proposedResponse))                                                                           \
    EVENT(DownloadTaskDidFinishDownloadingToURL, downloadTaskDidFinishDownloadingToURL,                                \
          (const URLSessionPtr& session, const URLSessionDownloadTaskPtr& task, const platform::URL& location),        \
          (session, task, location))                                                                                   \
    EVENT(DownloadTaskDidWriteData, downloadTaskDidWriteData,                                                          \
          (const URLSessionPtr& session, const URLSessionDownloadTaskPtr& task, std::int64_t bytesWritten,             \
           std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite),                                    \
          (session, task, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite))                                 \
    EVENT(DownloadTaskDidResumeAtOffset, downloadTaskDidResumeAtOffset,                                                \
          (const URLSessionPtr& session, const URLSessionDownloadTaskPtr& task, std::int64_t fileOffset,               \
           std::int64_t expectedTotalBytes),                                                                           \
          (session, task, fileOffset, expectedTotalBytes))

#define HAWSER_REQUEST_EVENTS(EVENT)                                                                                   \
    EVENT(RequestDidCreateInitialURLRequest, requestDidCreateInitialURLRequest,                                        \
          (const RequestPtr& request, const URLRequest& urlRequest), (request, urlRequest))                            \
    EVENT(RequestDidFailToCreateURLRequestWithError, requestDidFailToCreateURLRequestWithError,                        \
          (const RequestPtr& request, const HWError& error), (request, error))                                         \
    EVENT(RequestDidAdaptInitialRequestToAdaptedRequest, requestDidAdaptInitialRequestToAdaptedRequest,                \
          (const RequestPtr& request, const URLRequest& initial, const URLRequest& adapted),                           \
          (request, initial, adapted))                                                                                 \
    EVENT(RequestDidFailToAdaptURLRequestWithError, requestDidFailToAdaptURLRequestWithError,                          \
          (const RequestPtr& request, const URLRequest& urlRequest, const HWError& error),                             \
          (request, urlRequest, error))                                                                                \
    EVENT(RequestDidCreateURLRequest, requestDidCreateURLRequest,                                                      \
          (const RequestPtr& request, const URLRequest& urlRequest), (request, urlRequest))                            \
    EVENT(RequestDidCreateTask, requestDidCreateTask, (const RequestPtr& request, const URLSessionTaskPtr& task),      \
          (request, task))                                                                                             \
    EVENT(RequestDidGatherMetrics, requestDidGatherMetrics,                                                            \
          (const RequestPtr& request, const URLSessionTaskMetricsPtr& metrics), (request, metrics))                    \
    EVENT(RequestDidFailTaskEarlyWithError, requestDidFailTaskEarlyWithError,                                          \
          (const RequestPtr& request, const URLSessionTaskPtr& task, const HWError& error), (request, task, error))    \
    EVENT(RequestDidCompleteTaskWithError, requestDidCompleteTaskWithError,                                            \
          (const RequestPtr& request, const URLSessionTaskPtr& task, const std::optional<HWError>& error),             \
          (request, task, error))                                                                                      \
    EVENT(RequestIsRetrying, requestIsRetrying, (const RequestPtr& request), (request))                                \
    EVENT(RequestDidFinish, requestDidFinish, (const RequestPtr& request), (request))                                  \
    EVENT(RequestDidResume, requestDidResume, (const RequestPtr& request), (request))                                  \
    EVENT(RequestDidResumeTask, requestDidResumeTask, (const RequestPtr& request, const URLSessionTaskPtr& task),      \
          (request, task))                                                                                             \
    EVENT(RequestDidSuspend, requestDidSuspend, (const RequestPtr& request), (request))                                \
    EVENT(RequestDidSuspendTask, requestDidSuspendTask, (const RequestPtr& request, const URLSessionTaskPtr& task),    \
          (request, task))                                                                                             \
    EVENT(RequestDidCancel, requestDidCancel, (const RequestPtr& request), (request))                                  \
    EVENT(RequestDidCancelTask, requestDidCancelTask, (const RequestPtr& request, const URLSessionTaskPtr& task),      \
          (request, task))

#define HAWSER_DATA_EVENTS(EVENT, VALUE_EVENT)                                                                         \
    EVENT(RequestDidValidateRequestResponseDataWithResult, requestDidValidateRequestResponseDataWithResult,            \
          (const DataRequestPtr& request, const std::optional<URLRequest>& urlRequest,                                 \
           const HTTPURLResponsePtr& response, const std::optional<platform::Data>& data,                              \
           const ValidationResult& result),                                                                            \
          (request, urlRequest, response, data, result))                                                               \
    EVENT(RequestDidParseResponse, requestDidParseResponse,                                                            \
          (const DataRequestPtr& request, const DataResponse<std::optional<platform::Data>, HWError>& response),       \
          (request, response))                                                                                         \
    VALUE_EVENT(RequestDidParseResponseOfValue, requestDidParseResponseOfValue,                                        \
                (const DataRequestPtr& request, const AnyDataResponse& response), (request, response))

#define HAWSER_STREAM_EVENTS(EVENT, VALUE_EVENT)                                                                       \
    EVENT(RequestDidValidateRequestResponseWithResult, requestDidValidateRequestResponseWithResult,                    \
          (const DataStreamRequestPtr& request, const std::optional<URLRequest>& urlRequest,                           \
           const HTTPURLResponsePtr& response, const ValidationResult& result),                                        \
          (request, urlRequest, response, result))                                                                     \
    VALUE_EVENT(RequestDidParseStream, requestDidParseStream,                                                          \
                (const DataStreamRequestPtr& request, const AnyResult& result), (request, result))

#define HAWSER_UPLOAD_EVENTS(EVENT)                                                                                    \
    EVENT(RequestDidCreateUploadable, requestDidCreateUploadable,                                                      \
          (const UploadRequestPtr& request, const Uploadable& uploadable), (request, uploadable))                      \
    EVENT(RequestDidFailToCreateUploadableWithError, requestDidFailToCreateUploadableWithError,                        \
          (const UploadRequestPtr& request, const HWError& error), (request, error))                                   \
    EVENT(RequestDidProvideInputStream, requestDidProvideInputStream,                                                  \
          (const UploadRequestPtr& request, const platform::InputStreamPtr& stream), (request, stream))

#define HAWSER_DOWNLOAD_EVENTS(EVENT, VALUE_EVENT)                                                                     \
    EVENT(RequestDidFinishDownloadingUsingTaskWithResult, requestDidFinishDownloadingUsingTaskWithResult,              \
          (const DownloadRequestPtr& request, const URLSessionTaskPtr& task,                                           \
           const platform::Result<platform::URL, HWError>& result),                                                    \
          (request, task, result))                                                                                     \
    EVENT(RequestDidCreateDestinationURL, requestDidCreateDestinationURL,                                              \
          (const DownloadRequestPtr& request, const platform::URL& url), (request, url))                               \
    EVENT(RequestDidValidateRequestResponseFileURLWithResult, requestDidValidateRequestResponseFileURLWithResult,      \
          (const DownloadRequestPtr& request, const std::optional<URLRequest>& urlRequest,                             \
           const HTTPURLResponsePtr& response, const std::optional<platform::URL>& fileURL,                            \
           const ValidationResult& result),                                                                            \
          (request, urlRequest, response, fileURL, result))                                                            \
    EVENT(                                                                                                             \
        RequestDidParseDownloadResponse, requestDidParseDownloadResponse,                                              \
        (const DownloadRequestPtr& request, const DownloadResponse<std::optional<platform::URL>, HWError>& response),  \
        (request, response))                                                                                           \
    VALUE_EVENT(RequestDidParseDownloadResponseOfValue, requestDidParseDownloadResponseOfValue,                        \
                (const DownloadRequestPtr& request, const AnyDownloadResponse& response), (request, response))

// All 43 events, in the order the monitor interface declares them.
#define HAWSER_EVENTS(EVENT, VALUE_EVENT)                                                                              \
    HAWSER_SESSION_EVENTS(EVENT)                                                                                       \
    HAWSER_REQUEST_EVENTS(EVENT)                                                                                       \
    HAWSER_DATA_EVENTS(EVENT, VALUE_EVENT)                                                                             \
    HAWSER_STREAM_EVENTS(EVENT, VALUE_EVENT)                                                                           \
    HAWSER_UPLOAD_EVENTS(EVENT)                                                                                        \
    HAWSER_DOWNLOAD_EVENTS(EVENT, VALUE_EVENT)
