// Data requests: the received-bytes buffer, its progress and validation.
#include "Hawser/DataRequest.h"

#include "Hawser/Session.h"

namespace Hawser {

DataRequestPtr DataRequest::create(platform::UUID id, URLRequestConvertiblePtr convertible,
                                   DispatchQueuePtr underlyingQueue, DispatchQueuePtr serializationQueue,
                                   EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                                   std::weak_ptr<RequestDelegate> delegate) {
    return DataRequestPtr(new DataRequest(id, std::move(convertible), std::move(underlyingQueue),
                                          std::move(serializationQueue), std::move(eventMonitor),
                                          std::move(interceptor), std::move(delegate)));
}

DataRequest::DataRequest(platform::UUID id, URLRequestConvertiblePtr convertible, DispatchQueuePtr underlyingQueue,
                         DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor,
                         RequestInterceptorPtr interceptor, std::weak_ptr<RequestDelegate> delegate)
    : Request(id, std::move(underlyingQueue), std::move(serializationQueue), std::move(eventMonitor),
              std::move(interceptor), std::move(delegate)),
      convertible(std::move(convertible)) {}

URLSessionTaskPtr DataRequest::task(const URLRequest& request, const URLSessionPtr& session) {
    return session->dataTask(request);
}

void DataRequest::performIn(Session& session) { session.performDataRequest(selfAsData()); }

void DataRequest::didReceive(const platform::Data& data) {
    // Test and write in one hold, so no chunk can slip between them.
    mutableData.write([&](std::optional<platform::Data>& buffer) {
        if (buffer) buffer->append(data);
        else buffer = data;
    });
    updateDownloadProgress();
}

void DataRequest::updateDownloadProgress() {
    auto received = mutableData.read([](const std::optional<platform::Data>& b) {
        return b ? static_cast<std::int64_t>(b->count()) : std::int64_t(0);
    });
    std::int64_t expected = platform::NSURLSessionTransferSizeUnknown;
    if (auto last = lastTask()) {
        if (auto response = last->response()) expected = response->expectedContentLength();
    }
    downloadProgress_->setTotalUnitCount(expected);
    downloadProgress_->setCompletedUnitCount(received);
    if (auto h = downloadProgressHandler()) {
        // Looked up again when it runs, so a handler replaced meanwhile gets the call.
        h->queue->async([self = selfAsData()] {
            if (auto current = self->downloadProgressHandler()) current->handler(self->downloadProgress_);
        });
    }
}

DataRequestPtr DataRequest::validate(Validation validation) {
    addValidator(
        std::weak_ptr<DataRequest>(selfAsData()), [](DataRequest& self) { return self.data(); },
        [validation = std::move(validation)](const auto& request, const auto& response, const auto& data) {
            return validation(request, response, data);
        },
        [](EventMonitor& monitor, const auto& self, const auto& request, const auto& response, const auto& data,
           const auto& result) {
            monitor.requestDidValidateRequestResponseDataWithResult(self, request, response, data, result);
        });
    return selfAsData();
}

void DataRequest::reset() {
    Request::reset();
    mutableData.set(std::nullopt);
}

}  // namespace Hawser
