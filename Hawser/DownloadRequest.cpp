// Download requests: the destination, progress, resume-data cancellation and
// validation of the downloaded file.
#include "Hawser/DownloadRequest.h"

#include "Hawser/Session.h"

namespace Hawser {

using platform::URLSessionDownloadTask;

DownloadRequestPtr DownloadRequest::create(platform::UUID id, Downloadable downloadable,
                                           DispatchQueuePtr underlyingQueue, DispatchQueuePtr serializationQueue,
                                           EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                                           std::weak_ptr<RequestDelegate> delegate, Destination destination) {
    return DownloadRequestPtr(new DownloadRequest(id, std::move(downloadable), std::move(underlyingQueue),
                                                  std::move(serializationQueue), std::move(eventMonitor),
                                                  std::move(interceptor), std::move(delegate), std::move(destination)));
}

DownloadRequest::DownloadRequest(platform::UUID id, Downloadable downloadable, DispatchQueuePtr underlyingQueue,
                                 DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor,
                                 RequestInterceptorPtr interceptor, std::weak_ptr<RequestDelegate> delegate,
                                 Destination destination)
    : Request(id, std::move(underlyingQueue), std::move(serializationQueue), std::move(eventMonitor),
              std::move(interceptor), std::move(delegate)),
      downloadable(std::move(downloadable)), destination(std::move(destination)) {}

DownloadRequest::Destination DownloadRequest::suggestedDownloadDestination(platform::SearchPathDirectory directory,
                                                                           platform::SearchPathDomainMask domain,
                                                                           Options options) {
    return [directory, domain, options](const platform::URL& temporaryURL, const platform::HTTPURLResponse& response) {
        auto folders = platform::FileManager::defaultManager()->urls(directory, domain);
        if (folders.empty()) return DestinationResult{temporaryURL, options};
        // The platform's suggested name is a single safe component, never a path.
        return DestinationResult{folders.front().appendingPathComponent(response.suggestedFilename()), options};
    };
}

std::optional<platform::Data> DownloadRequest::resumeData() const {
    if (auto stored = mutableDownloadState.get(&DownloadRequestMutableState::resumeData)) return stored;
    if (auto failure = error()) return failure->downloadResumeData();
    return std::nullopt;
}

std::optional<platform::URL> DownloadRequest::fileURL() const {
    return mutableDownloadState.get(&DownloadRequestMutableState::fileURL);
}

URLSessionTaskPtr DownloadRequest::task(const URLRequest& request, const URLSessionPtr& session) {
    return session->downloadTask(request);
}

void DownloadRequest::performIn(Session& session) { session.performDownloadRequest(selfAsDownload()); }

URLSessionTaskPtr DownloadRequest::task(const platform::Data& forResumeData, const URLSessionPtr& session) {
    return session->downloadTask(forResumeData);
}

void DownloadRequest::didFinishDownloading(const URLSessionTaskPtr& task,
                                           const platform::Result<platform::URL, HWError>& result) {
    if (eventMonitor) eventMonitor->requestDidFinishDownloadingUsingTaskWithResult(selfAsDownload(), task, result);
    if (result.isSuccess()) {
        mutableDownloadState.set(&DownloadRequestMutableState::fileURL, result.value());
    } else {
        setError(result.error());
    }
}

void DownloadRequest::updateDownloadProgress(std::int64_t bytesWritten, std::int64_t totalBytesExpectedToWrite) {
    downloadProgress_->setTotalUnitCount(totalBytesExpectedToWrite);
    downloadProgress_->setCompletedUnitCount(downloadProgress_->completedUnitCount() + bytesWritten);
    if (auto h = downloadProgressHandler()) {
        h->queue->async([self = selfAsDownload()] {
            if (auto current = self->downloadProgressHandler()) current->handler(self->downloadProgress_);
        });
    }
}

RequestPtr DownloadRequest::cancel() { return cancelOptionallyProducingResumeData(std::nullopt); }

DownloadRequestPtr DownloadRequest::cancel(ResumeDataHandler byProducingResumeData) {
    return cancelOptionallyProducingResumeData(std::move(byProducingResumeData));
}

DownloadRequestPtr DownloadRequest::cancelOptionallyProducingResumeData(std::optional<ResumeDataHandler> handler) {
    auto self = selfAsDownload();
    mutableState.write([&](MutableState& s) {
        if (!canTransitionTo(s.state, State::cancelled)) return;
        s.state = State::cancelled;
        underlyingQueue->async([self] { self->didCancel(); });
        auto task = s.tasks.empty() ? nullptr : std::dynamic_pointer_cast<URLSessionDownloadTask>(s.tasks.back());
        if (!task || task->state() == platform::URLSessionTask::State::completed) {
            // Nothing left to produce resume data: the handler is never called.
            underlyingQueue->async([self] { self->finish(); });
            return;
        }
        task->resume();
        if (handler) {
            // The download-state lock is taken only in the callback, never inside this one.
            task->cancel([self, task, handler = std::move(*handler)](std::optional<platform::Data> data) {
                self->mutableDownloadState.set(&DownloadRequestMutableState::resumeData, data);
                self->underlyingQueue->async([self, task] { self->didCancelTask(task); });
                handler(data);
            });
        } else {
            task->cancel();
            underlyingQueue->async([self, task] { self->didCancelTask(task); });
        }
    });
    return self;
}

DownloadRequestPtr DownloadRequest::validate(Validation validation) {
    addValidator(
        std::weak_ptr<DownloadRequest>(selfAsDownload()), [](DownloadRequest& self) { return self.fileURL(); },
        [validation = std::move(validation)](const auto& request, const auto& response, const auto& file) {
            return validation(request, response, file);
        },
        [](EventMonitor& monitor, const auto& self, const auto& request, const auto& response, const auto& file,
           const auto& result) {
            monitor.requestDidValidateRequestResponseFileURLWithResult(self, request, response, file, result);
        });
    return selfAsDownload();
}

void DownloadRequest::reset() {
    Request::reset();
    mutableDownloadState.set(DownloadRequestMutableState{});
}

}  // namespace Hawser
