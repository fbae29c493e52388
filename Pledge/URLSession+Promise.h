// Tasks of a URL session as promises (data, upload from memory or a file, download moved
// to a place the caller names) and the status check for data promises.
#pragma once
#include "Pledge/PLGHTTPError.h"
#include "Pledge/Promise.h"
#include "Pledge/String+URLResponse.h"
#include "platform/net/URLSession.h"

namespace Pledge {

// What a task is sent for: a request as it stands, or a URL (protocol cache policy,
// 60-second time-out).
class URLRequestConvertible {
public:
    URLRequestConvertible(platform::URLRequest request) : request_(std::move(request)) {}
    URLRequestConvertible(const platform::URL& url)
        : request_(url, platform::URLRequest::CachePolicy::useProtocolCachePolicy, 60) {}
    const platform::URLRequest& urlRequest() const { return request_; }

private:
    platform::URLRequest request_;
};

struct URLDataResult {
    platform::Data data;
    platform::URLResponsePtr response;
};
struct URLDownloadResult {
    platform::URL saveLocation;
    platform::URLResponsePtr response;
};

// Data and response fulfil (an error reported beside them is ignored); else the error
// rejects; else PLGError invalidCallingConvention. The task cannot be cancelled through
// the promise.
Promise<URLDataResult> dataTask(const platform::URLSessionPtr& session, PLGNamespacer,
                                const URLRequestConvertible& with);
Promise<URLDataResult> uploadTask(const platform::URLSessionPtr& session, PLGNamespacer,
                                  const URLRequestConvertible& with, const platform::Data& from);
Promise<URLDataResult> uploadTask(const platform::URLSessionPtr& session, PLGNamespacer,
                                  const URLRequestConvertible& with, const platform::URL& fromFile);
// An error rejects first; else the downloaded file is moved to `to` before the promise
// resolves. A file already at `to` is left alone and the move's error rejects.
Promise<URLDownloadResult> downloadTask(const platform::URLSessionPtr& session, PLGNamespacer,
                                        const URLRequestConvertible& with, const platform::URL& to);

// On the configured map queue: an HTTP status outside 200..<300 rejects with
// PLGHTTPError badStatusCode; other responses pass unchanged.
Promise<URLDataResult> validate(const Promise<URLDataResult>& promise);

}  // namespace Pledge
