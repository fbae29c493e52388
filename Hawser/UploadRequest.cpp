// Upload requests: the body of each attempt, its task, its stream and the removal of a
// temporary body file.
#include "Hawser/UploadRequest.h"

#include "Hawser/Session.h"
#include "platform/base/Fatal.h"

namespace Hawser {

UploadRequestPtr UploadRequest::create(platform::UUID id, UploadConvertiblePtr convertible,
                                       DispatchQueuePtr underlyingQueue, DispatchQueuePtr serializationQueue,
                                       EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                                       std::shared_ptr<platform::FileManager> fileManager,
                                       std::weak_ptr<RequestDelegate> delegate) {
    return UploadRequestPtr(new UploadRequest(id, std::move(convertible), std::move(underlyingQueue),
                                              std::move(serializationQueue), std::move(eventMonitor),
                                              std::move(interceptor), std::move(fileManager), std::move(delegate)));
}

UploadRequest::UploadRequest(platform::UUID id, UploadConvertiblePtr convertible, DispatchQueuePtr underlyingQueue,
                             DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor,
                             RequestInterceptorPtr interceptor, std::shared_ptr<platform::FileManager> fileManager,
                             std::weak_ptr<RequestDelegate> delegate)
    : DataRequest(id, convertible, std::move(underlyingQueue), std::move(serializationQueue), std::move(eventMonitor),
                  std::move(interceptor), std::move(delegate)),
      upload(std::move(convertible)), fileManager(std::move(fileManager)) {}

void UploadRequest::didCreateUploadable(const Uploadable& uploadable) {
    uploadable_.set(uploadable);
    if (eventMonitor) eventMonitor->requestDidCreateUploadable(selfAsUpload(), uploadable);
}

void UploadRequest::didFailToCreateUploadable(const HWError& error) {
    setError(error);
    if (eventMonitor) eventMonitor->requestDidFailToCreateUploadableWithError(selfAsUpload(), error);
    retryOrFinish(error);
}

URLSessionTaskPtr UploadRequest::task(const URLRequest& request, const URLSessionPtr& session) {
    auto body = uploadable();
    if (!body) platform::fatal("Attempting to create a URLSessionUploadTask when Uploadable value doesn't exist.");
    if (auto d = body->asData()) return session->uploadTask(request, d->data);
    if (auto f = body->asFile()) return session->uploadTask(request, f->url);
    return session->uploadTaskWithStreamedRequest(request);
}

void UploadRequest::performIn(Session& session) { session.performUploadRequest(selfAsUpload()); }

platform::InputStreamPtr UploadRequest::inputStream() {
    auto body = uploadable();
    if (!body) platform::fatal("Attempting to access the input stream but the uploadable doesn't exist.");
    auto s = body->asStream();
    if (!s) platform::fatal("Attempted to access the stream of an UploadRequest that wasn't created with one.");
    if (eventMonitor) eventMonitor->requestDidProvideInputStream(selfAsUpload(), s->stream);
    return s->stream;
}

void UploadRequest::reset() {
    uploadable_.set(std::nullopt);
    DataRequest::reset();
}

void UploadRequest::cleanup() {
    if (auto body = uploadable()) {
        if (auto f = body->asFile(); f && f->shouldRemove) {
            try {
                fileManager->removeItem(f->url);
            } catch (...) {
                // The file may be gone already; cleanup goes on regardless.
            }
        }
    }
    DataRequest::cleanup();
}

}  // namespace Hawser
