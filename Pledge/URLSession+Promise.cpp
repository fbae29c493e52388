// Each operation makes the task with a completion that resolves the promise on the
// session's delegate queue, and starts it; the task object is not kept.
#include "Pledge/URLSession+Promise.h"

#include "Pledge/ThenableOperators.h"
#include "platform/files/FileManager.h"

namespace Pledge {

namespace {

platform::URLSessionDataTask::CompletionHandler dataCompletion(const Resolver<URLDataResult>& resolver) {
    return [resolver](std::optional<platform::Data> data, platform::URLResponsePtr response, platform::ErrorPtr error) {
        if (data && response) resolver.fulfill(URLDataResult{std::move(*data), std::move(response)});
        else if (error) resolver.reject(std::move(error));
        else resolver.reject(PLGError::invalidCallingConvention());
    };
}

template <class MakeTask>
Promise<URLDataResult> dataPromise(MakeTask makeTask) {
    return Promise<URLDataResult>(
        [&](const Resolver<URLDataResult>& resolver) { makeTask(dataCompletion(resolver))->resume(); });
}

}  // namespace

Promise<URLDataResult> dataTask(const platform::URLSessionPtr& session, PLGNamespacer,
                                const URLRequestConvertible& with) {
    return dataPromise([&](auto completion) { return session->dataTask(with.urlRequest(), std::move(completion)); });
}

Promise<URLDataResult> uploadTask(const platform::URLSessionPtr& session, PLGNamespacer,
                                  const URLRequestConvertible& with, const platform::Data& from) {
    return dataPromise(
        [&](auto completion) { return session->uploadTask(with.urlRequest(), from, std::move(completion)); });
}

Promise<URLDataResult> uploadTask(const platform::URLSessionPtr& session, PLGNamespacer,
                                  const URLRequestConvertible& with, const platform::URL& fromFile) {
    return dataPromise(
        [&](auto completion) { return session->uploadTask(with.urlRequest(), fromFile, std::move(completion)); });
}

Promise<URLDownloadResult> downloadTask(const platform::URLSessionPtr& session, PLGNamespacer,
                                        const URLRequestConvertible& with, const platform::URL& to) {
    return Promise<URLDownloadResult>([&](const Resolver<URLDownloadResult>& resolver) {
        auto completion = [resolver, to](std::optional<platform::URL> temporary, platform::URLResponsePtr response,
                                         platform::ErrorPtr error) {
            if (error) return resolver.reject(std::move(error));
            if (!temporary || !response) return resolver.reject(PLGError::invalidCallingConvention());
            // The temporary file lives only until this completion returns.
            try {
                platform::FileManager::defaultManager()->moveItem(*temporary, to);
            } catch (...) {
                return resolver.reject(platform::errorFromCurrentException());
            }
            resolver.fulfill(URLDownloadResult{to, std::move(response)});
        };
        session->downloadTask(with.urlRequest(), std::move(completion))->resume();
    });
}

Promise<URLDataResult> validate(const Promise<URLDataResult>& promise) {
    return promise.map([](const URLDataResult& result) {
        auto http = std::dynamic_pointer_cast<const platform::HTTPURLResponse>(result.response);
        if (http && (http->statusCode() < 200 || http->statusCode() >= 300))
            throw platform::ErrorException(PLGHTTPError::badStatusCode(http->statusCode(), result.data, http));
        return result;
    });
}

}  // namespace Pledge
