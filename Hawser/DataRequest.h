// The request kind whose response body is collected in memory, with download progress
// from the received bytes and validation that sees them.
#pragma once
#include <functional>
#include <memory>
#include <optional>

#include "Hawser/Request.h"
#include "Hawser/URLConvertible.h"
#include "platform/base/Data.h"

namespace Hawser {

class DataRequest : public Request {
public:
    using Validation = std::function<ValidationResult(
        const std::optional<URLRequest>&, const platform::HTTPURLResponse&, const std::optional<platform::Data>&)>;

    static DataRequestPtr create(platform::UUID id, URLRequestConvertiblePtr convertible,
                                 DispatchQueuePtr underlyingQueue, DispatchQueuePtr serializationQueue,
                                 EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                                 std::weak_ptr<RequestDelegate> delegate);

    // The source of every URL request of this request, retries included.
    const URLRequestConvertiblePtr convertible;

    // The bytes received so far; none until the first chunk.
    virtual std::optional<platform::Data> data() const { return mutableData.get(); }

    using Request::task;
    URLSessionTaskPtr task(const URLRequest& request, const URLSessionPtr& session) override;
    void performIn(Session& session) override;
    // One received chunk, from the session delegate.
    virtual void didReceive(const platform::Data& data);
    virtual void updateDownloadProgress();
    // Runs when a task completes, unless the request already failed or got no HTTP
    // response; a failure becomes the request's error.
    virtual DataRequestPtr validate(Validation validation);
    void reset() override;

protected:
    DataRequest(platform::UUID id, URLRequestConvertiblePtr convertible, DispatchQueuePtr underlyingQueue,
                DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                std::weak_ptr<RequestDelegate> delegate);
    DataRequestPtr selfAsData() { return std::static_pointer_cast<DataRequest>(shared_from_this()); }

    platform::Protected<std::optional<platform::Data>> mutableData;
};

}  // namespace Hawser
