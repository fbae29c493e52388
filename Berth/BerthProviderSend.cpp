// Sending through the HTTP client: the interceptor that runs the plugins' prepare and
// willSend, the request kinds, status validation, progress and the response handler.
#include "Berth/BerthProvider.h"
#include "Berth/RequestTypeWrapper.h"
#include "Hawser/DownloadResponseHandlers.h"
#include "Hawser/ResponseHandlers.h"
#include "Hawser/Validation.h"
#include "platform/files/FileManager.h"

namespace Berth {

using platform::URLRequest;

std::shared_ptr<BerthRequestInterceptor> BerthProviderCore::interceptor(const TargetPtr& target) {
    std::weak_ptr<BerthProviderCore> weakSelf = shared_from_this();
    return std::make_shared<BerthRequestInterceptor>([weakSelf, target](const URLRequest& request) {
        auto self = weakSelf.lock();
        if (!self) return request;
        URLRequest prepared = request;
        for (const auto& plugin : self->plugins_) prepared = plugin->prepare(prepared, *target);
        return prepared;
    });
}

void BerthProviderCore::setup(const std::shared_ptr<BerthRequestInterceptor>& interceptor, const TargetPtr& target,
                              const Hawser::RequestPtr& request) {
    std::weak_ptr<BerthProviderCore> weakSelf = shared_from_this();
    std::weak_ptr<Hawser::Request> weakRequest = request;
    interceptor->setWillSend([weakSelf, weakRequest, target](const URLRequest& urlRequest) {
        auto self = weakSelf.lock();
        auto engineRequest = weakRequest.lock();
        if (!self || !engineRequest) return;
        RequestTypeWrapper wrapper(engineRequest, urlRequest);
        for (const auto& plugin : self->plugins_) plugin->willSend(wrapper, *target);
    });
}

namespace {
Hawser::URLRequestConvertiblePtr convertible(const URLRequest& request) {
    return std::make_shared<Hawser::URLRequestValue>(request);
}

}  // namespace

void BerthProviderCore::validate(const Hawser::RequestPtr& request, const TargetType& target) {
    std::vector<int> codes = target.validationType().statusCodes();
    if (codes.empty()) return;
    if (auto data = std::dynamic_pointer_cast<Hawser::DataRequest>(request))
        Hawser::validate(data, Hawser::StatusCodes(codes));
    else if (auto download = std::dynamic_pointer_cast<Hawser::DownloadRequest>(request))
        Hawser::validate(download, Hawser::StatusCodes(codes));
}

CancellablePtr BerthProviderCore::sendRequest(const TargetPtr& target, const URLRequest& request,
                                              DispatchQueuePtr queue, ProgressBlock progress, Completion completion) {
    auto adapter = interceptor(target);
    Hawser::DataRequestPtr engineRequest = session_->requestQueue->sync([&] {
        auto made = session_->request(convertible(request), adapter);
        setup(adapter, target, made);
        return made;
    });
    validate(engineRequest, *target);
    return sendHawserRequest(engineRequest, target, std::move(queue), std::move(progress), std::move(completion));
}

CancellablePtr BerthProviderCore::sendUploadFile(const TargetPtr& target, const URLRequest& request,
                                                 DispatchQueuePtr queue, const platform::URL& file,
                                                 ProgressBlock progress, Completion completion) {
    auto adapter = interceptor(target);
    Hawser::UploadRequestPtr engineRequest = session_->requestQueue->sync([&] {
        auto made = session_->upload(file, convertible(request), adapter, platform::FileManager::defaultManager());
        setup(adapter, target, made);
        return made;
    });
    validate(engineRequest, *target);
    return sendHawserRequest(engineRequest, target, std::move(queue), std::move(progress), std::move(completion));
}

CancellablePtr BerthProviderCore::sendUploadMultipart(const TargetPtr& target, const URLRequest& request,
                                                      DispatchQueuePtr queue,
                                                      const std::vector<MultipartFormData>& parts,
                                                      ProgressBlock progress, Completion completion) {
    auto form = std::make_shared<Hawser::MultipartFormData>();
    appendParts(*form, parts);
    auto adapter = interceptor(target);
    Hawser::UploadRequestPtr engineRequest = session_->requestQueue->sync([&] {
        // In memory below 10,000,000 bytes, else through a temporary file.
        auto made =
            session_->upload(form, convertible(request), 10'000'000, adapter, platform::FileManager::defaultManager());
        setup(adapter, target, made);
        return made;
    });
    validate(engineRequest, *target);
    return sendHawserRequest(engineRequest, target, std::move(queue), std::move(progress), std::move(completion));
}

CancellablePtr BerthProviderCore::sendDownloadRequest(const TargetPtr& target, const URLRequest& request,
                                                      DispatchQueuePtr queue, DownloadDestination destination,
                                                      ProgressBlock progress, Completion completion) {
    auto adapter = interceptor(target);
    Hawser::DownloadRequestPtr engineRequest = session_->requestQueue->sync([&] {
        auto made = session_->download(convertible(request), adapter, destination);
        setup(adapter, target, made);
        return made;
    });
    validate(engineRequest, *target);
    return sendHawserRequest(engineRequest, target, std::move(queue), std::move(progress), std::move(completion));
}

CancellablePtr BerthProviderCore::sendHawserRequest(const Hawser::RequestPtr& request, const TargetPtr& target,
                                                    DispatchQueuePtr queue, ProgressBlock progress,
                                                    Completion completion) {
    auto download = std::dynamic_pointer_cast<Hawser::DownloadRequest>(request);
    auto upload = std::dynamic_pointer_cast<Hawser::UploadRequest>(request);
    auto data = std::dynamic_pointer_cast<Hawser::DataRequest>(request);
    // The progress object a report shows: what is being downloaded, else uploaded.
    platform::ProgressPtr progressObject = download ? request->downloadProgress()
                                           : upload ? request->uploadProgress()
                                           : data   ? request->downloadProgress()
                                                    : nullptr;

    if (progress) {
        auto report = [queue, progress](const platform::ProgressPtr& p) {
            ProgressResponse response(p);
            if (queue) queue->async([progress, response] { progress(response); });
            else progress(response);
        };
        const auto& main = platform::DispatchQueue::main();
        if (download) download->downloadProgress(main, report);
        else if (upload) upload->uploadProgress(main, report);
        else if (data) data->downloadProgress(main, report);
    }

    auto handle = [plugins = plugins_, target, progress, progressObject, completion](
                      const platform::HTTPURLResponsePtr& response, const std::optional<URLRequest>& urlRequest,
                      const std::optional<platform::Data>& body, const platform::ErrorPtr& error) {
        BerthResult result = convertResponseToResult(response, urlRequest, body, error);
        for (const auto& plugin : plugins) plugin->didReceive(result, *target);
        if (progress) progress(ProgressResponse(progressObject, result.isSuccess() ? result.value() : nullptr));
        completion(result);
    };
    DispatchQueuePtr handlerQueue = queue ? queue : platform::DispatchQueue::main();
    if (download) {
        Hawser::response(download, handlerQueue,
                         [handle](const Hawser::DownloadResponse<std::optional<platform::URL>, Hawser::HWError>& r) {
                             handle(r.response, r.request, std::nullopt, r.error() ? r.error()->shared() : nullptr);
                         });
    } else if (data) {
        Hawser::response(data, handlerQueue,
                         [handle](const Hawser::DataResponse<std::optional<platform::Data>, Hawser::HWError>& r) {
                             handle(r.response, r.request, r.data, r.error() ? r.error()->shared() : nullptr);
                         });
    }
    request->resume();
    return std::make_shared<CancellableToken>(request);
}

}  // namespace Berth
