// The object that creates, runs and keeps track of HTTP requests: one URL session with
// its delegate, one serial root queue for all bookkeeping and every request event, the
// request and serialization queues, the session-wide extension points, and the
// composite event monitor every request reports to.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Hawser/DataRequest.h"
#include "Hawser/DataStreamRequest.h"
#include "Hawser/DownloadRequest.h"
#include "Hawser/EventMonitor.h"
#include "Hawser/HTTPHeaders.h"
#include "Hawser/HTTPMethod.h"
#include "Hawser/Interceptor.h"
#include "Hawser/MultipartFormData.h"
#include "Hawser/ParameterEncoder.h"
#include "Hawser/ParameterEncoding.h"
#include "Hawser/RequestDelegate.h"
#include "Hawser/RequestInterceptor.h"
#include "Hawser/RequestTaskMap.h"
#include "Hawser/SessionDelegate.h"
#include "Hawser/SessionStateProvider.h"
#include "Hawser/URLConvertible.h"
#include "Hawser/UploadRequest.h"
#include "platform/net/URLSession.h"

namespace Hawser {

// Changes a URL request in place before it is encoded; may throw.
using RequestModifier = std::function<void(platform::URLRequest&)>;

// Any parameter encoding, held by value behind a shared pointer so that request
// wrappers can keep it.
class AnyParameterEncoding {
public:
    template <class E>
        requires std::derived_from<E, ParameterEncoding>
    AnyParameterEncoding(E encoding) : encoding_(std::make_shared<const E>(std::move(encoding))) {}
    AnyParameterEncoding(std::shared_ptr<const ParameterEncoding> encoding) : encoding_(std::move(encoding)) {}
    const ParameterEncoding& operator*() const { return *encoding_; }

private:
    std::shared_ptr<const ParameterEncoding> encoding_;
};

// Where a download goes when the caller names no destination: beside the temporary file,
// named "Hawser_" + its name, with no options.
DownloadRequest::Destination defaultDownloadDestination();
platform::URL defaultDownloadURL(const platform::URL& temporaryURL);

class Session : public std::enable_shared_from_this<Session>, public RequestDelegate, public SessionStateProvider {
public:
    // ---- request wrappers: each makes its URL request only when the pipeline asks ----
    class RequestConvertible final : public URLRequestConvertible {
    public:
        RequestConvertible(URLConvertible url, HTTPMethod method, std::optional<Parameters> parameters,
                           AnyParameterEncoding encoding, std::optional<HTTPHeaders> headers,
                           RequestModifier requestModifier);
        platform::URLRequest asURLRequest() const override;

        const URLConvertible url;
        const HTTPMethod method;
        const std::optional<Parameters> parameters;
        const AnyParameterEncoding encoding;
        const std::optional<HTTPHeaders> headers;
        const RequestModifier requestModifier;
    };
    class RequestEncodableConvertible final : public URLRequestConvertible {
    public:
        RequestEncodableConvertible(URLConvertible url, HTTPMethod method, std::optional<AnyEncodable> parameters,
                                    ParameterEncoderPtr encoder, std::optional<HTTPHeaders> headers,
                                    RequestModifier requestModifier);
        platform::URLRequest asURLRequest() const override;

        const URLConvertible url;
        const HTTPMethod method;
        const std::optional<AnyEncodable> parameters;
        const ParameterEncoderPtr encoder;
        const std::optional<HTTPHeaders> headers;
        const RequestModifier requestModifier;
    };
    class ParameterlessRequestConvertible final : public URLRequestConvertible {
    public:
        ParameterlessRequestConvertible(URLConvertible url, HTTPMethod method, std::optional<HTTPHeaders> headers,
                                        RequestModifier requestModifier);
        platform::URLRequest asURLRequest() const override;

        const URLConvertible url;
        const HTTPMethod method;
        const std::optional<HTTPHeaders> headers;
        const RequestModifier requestModifier;
    };
    class Upload final : public UploadConvertible {
    public:
        Upload(URLRequestConvertiblePtr request, std::shared_ptr<const UploadableConvertible> uploadable)
            : request(std::move(request)), uploadable(std::move(uploadable)) {}
        platform::URLRequest asURLRequest() const override { return request->asURLRequest(); }
        Uploadable createUploadable() const override { return uploadable->createUploadable(); }

        const URLRequestConvertiblePtr request;
        const std::shared_ptr<const UploadableConvertible> uploadable;
    };

    using FileManagerPtr = std::shared_ptr<platform::FileManager>;

    // ---- construction ----
    // Over an existing URL session whose delegate queue runs on `rootQueue` (that very
    // queue) and whose configuration is not a background one; both are fatal otherwise.
    static SessionPtr create(platform::URLSessionPtr session, SessionDelegatePtr delegate, DispatchQueuePtr rootQueue,
                             bool startRequestsImmediately = true, DispatchQueuePtr requestQueue = nullptr,
                             DispatchQueuePtr serializationQueue = nullptr, RequestInterceptorPtr interceptor = nullptr,
                             ServerTrustManagerPtr serverTrustManager = nullptr,
                             RedirectHandlerPtr redirectHandler = nullptr,
                             CachedResponseHandlerPtr cachedResponseHandler = nullptr,
                             std::vector<EventMonitorPtr> eventMonitors = {});
    // Builds the URL session and its delegate queue. Null arguments take their defaults:
    // a SessionDelegate over the default file manager and a new serial root queue
    // "org.hawser.session.rootQueue".
    static SessionPtr create(platform::URLSessionConfiguration configuration, SessionDelegatePtr delegate = nullptr,
                             DispatchQueuePtr rootQueue = nullptr, bool startRequestsImmediately = true,
                             DispatchQueuePtr requestQueue = nullptr, DispatchQueuePtr serializationQueue = nullptr,
                             RequestInterceptorPtr interceptor = nullptr,
                             ServerTrustManagerPtr serverTrustManager = nullptr,
                             RedirectHandlerPtr redirectHandler = nullptr,
                             CachedResponseHandlerPtr cachedResponseHandler = nullptr,
                             std::vector<EventMonitorPtr> eventMonitors = {});
    // Everything at its default configuration.
    static SessionPtr create();
    // The process's shared session, made once on first use from any thread.
    static const SessionPtr& default_();

    // Invalidates and cancels the URL session; the requests that own a task were finished
    // just before, by finishRequestsForDeinit() (see completeCreation).
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const platform::URLSessionPtr session;
    const SessionDelegatePtr delegate;
    const DispatchQueuePtr rootQueue;
    const bool startRequestsImmediately;
    const DispatchQueuePtr requestQueue;
    const DispatchQueuePtr serializationQueue;
    const RequestInterceptorPtr interceptor;
    const ServerTrustManagerPtr serverTrustManager_;
    const RedirectHandlerPtr redirectHandler_;
    const CachedResponseHandlerPtr cachedResponseHandler_;
    const std::vector<EventMonitorPtr> defaultEventMonitors;
    const std::shared_ptr<CompositeEventMonitor> eventMonitor;

    // ---- the live requests ----
    // Calls `perform` later on the root queue (never inline) with a snapshot.
    virtual void withAllRequests(std::function<void(const std::unordered_set<RequestPtr>&)> perform);
    // Cancels every live request on the root queue, then calls `completion` on `queue`.
    virtual void cancelAllRequests(DispatchQueuePtr completingOnQueue = platform::DispatchQueue::main(),
                                   std::function<void()> completion = nullptr);

    // ---- factories: each returns at once; building the URL request happens later ----
    virtual DataRequestPtr request(URLConvertible url, HTTPMethod method = HTTPMethod::get,
                                   std::optional<Parameters> parameters = std::nullopt,
                                   AnyParameterEncoding encoding = URLEncoding::default_(),
                                   std::optional<HTTPHeaders> headers = std::nullopt,
                                   RequestInterceptorPtr interceptor = nullptr,
                                   RequestModifier requestModifier = nullptr);
    // Encodable parameters through a parameter encoder (JSON or form).
    virtual DataRequestPtr request(URLConvertible url, HTTPMethod method, std::optional<AnyEncodable> parameters,
                                   ParameterEncoderPtr encoder, std::optional<HTTPHeaders> headers = std::nullopt,
                                   RequestInterceptorPtr interceptor = nullptr,
                                   RequestModifier requestModifier = nullptr);
    virtual DataRequestPtr request(URLRequestConvertiblePtr convertible, RequestInterceptorPtr interceptor = nullptr);
    virtual DataStreamRequestPtr streamRequest(URLConvertible url, HTTPMethod method = HTTPMethod::get,
                                               std::optional<HTTPHeaders> headers = std::nullopt,
                                               bool automaticallyCancelOnStreamError = false,
                                               RequestInterceptorPtr interceptor = nullptr,
                                               RequestModifier requestModifier = nullptr);
    virtual DataStreamRequestPtr streamRequest(URLConvertible url, HTTPMethod method,
                                               std::optional<AnyEncodable> parameters, ParameterEncoderPtr encoder,
                                               std::optional<HTTPHeaders> headers = std::nullopt,
                                               bool automaticallyCancelOnStreamError = false,
                                               RequestInterceptorPtr interceptor = nullptr,
                                               RequestModifier requestModifier = nullptr);
    virtual DataStreamRequestPtr streamRequest(URLRequestConvertiblePtr convertible,
                                               bool automaticallyCancelOnStreamError = false,
                                               RequestInterceptorPtr interceptor = nullptr);
    virtual DownloadRequestPtr download(URLConvertible url, HTTPMethod method = HTTPMethod::get,
                                        std::optional<Parameters> parameters = std::nullopt,
                                        AnyParameterEncoding encoding = URLEncoding::default_(),
                                        std::optional<HTTPHeaders> headers = std::nullopt,
                                        RequestInterceptorPtr interceptor = nullptr,
                                        RequestModifier requestModifier = nullptr,
                                        DownloadRequest::Destination to = nullptr);
    virtual DownloadRequestPtr download(URLConvertible url, HTTPMethod method, std::optional<AnyEncodable> parameters,
                                        ParameterEncoderPtr encoder, std::optional<HTTPHeaders> headers = std::nullopt,
                                        RequestInterceptorPtr interceptor = nullptr,
                                        RequestModifier requestModifier = nullptr,
                                        DownloadRequest::Destination to = nullptr);
    virtual DownloadRequestPtr download(URLRequestConvertiblePtr convertible,
                                        RequestInterceptorPtr interceptor = nullptr,
                                        DownloadRequest::Destination to = nullptr);
    virtual DownloadRequestPtr download(const platform::Data& resumingWith, RequestInterceptorPtr interceptor = nullptr,
                                        DownloadRequest::Destination to = nullptr);
    // Uploads of bytes, a file (never removed afterwards) or a stream.
    virtual UploadRequestPtr upload(const platform::Data& data, URLConvertible to, HTTPMethod method = HTTPMethod::post,
                                    std::optional<HTTPHeaders> headers = std::nullopt,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager(),
                                    RequestModifier requestModifier = nullptr);
    virtual UploadRequestPtr upload(const platform::Data& data, URLRequestConvertiblePtr with,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager());
    virtual UploadRequestPtr upload(const platform::URL& fileURL, URLConvertible to,
                                    HTTPMethod method = HTTPMethod::post,
                                    std::optional<HTTPHeaders> headers = std::nullopt,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager(),
                                    RequestModifier requestModifier = nullptr);
    virtual UploadRequestPtr upload(const platform::URL& fileURL, URLRequestConvertiblePtr with,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager());
    virtual UploadRequestPtr upload(const platform::InputStreamPtr& stream, URLConvertible to,
                                    HTTPMethod method = HTTPMethod::post,
                                    std::optional<HTTPHeaders> headers = std::nullopt,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager(),
                                    RequestModifier requestModifier = nullptr);
    virtual UploadRequestPtr upload(const platform::InputStreamPtr& stream, URLRequestConvertiblePtr with,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager());
    // Multipart forms: built by a closure on the calling thread, or given; encoded in
    // memory below the threshold, else through a temporary file.
    using MultipartFormBuilder = std::function<void(MultipartFormData&)>;
    virtual UploadRequestPtr upload(const MultipartFormBuilder& multipartFormData, URLConvertible to,
                                    std::uint64_t usingThreshold = MultipartFormData::encodingMemoryThreshold,
                                    HTTPMethod method = HTTPMethod::post,
                                    std::optional<HTTPHeaders> headers = std::nullopt,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager(),
                                    RequestModifier requestModifier = nullptr);
    virtual UploadRequestPtr upload(const MultipartFormBuilder& multipartFormData, URLRequestConvertiblePtr with,
                                    std::uint64_t usingThreshold = MultipartFormData::encodingMemoryThreshold,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager());
    virtual UploadRequestPtr upload(MultipartFormDataPtr multipartFormData, URLConvertible to,
                                    std::uint64_t usingThreshold = MultipartFormData::encodingMemoryThreshold,
                                    HTTPMethod method = HTTPMethod::post,
                                    std::optional<HTTPHeaders> headers = std::nullopt,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager(),
                                    RequestModifier requestModifier = nullptr);
    virtual UploadRequestPtr upload(MultipartFormDataPtr multipartFormData, URLRequestConvertiblePtr with,
                                    std::uint64_t usingThreshold = MultipartFormData::encodingMemoryThreshold,
                                    RequestInterceptorPtr interceptor = nullptr,
                                    FileManagerPtr fileManager = platform::FileManager::defaultManager());
    // The two inner steps every upload ends in.
    virtual UploadRequestPtr upload(const Uploadable& uploadable, URLRequestConvertiblePtr with,
                                    RequestInterceptorPtr interceptor, FileManagerPtr fileManager);
    virtual UploadRequestPtr upload(UploadConvertiblePtr upload, RequestInterceptorPtr interceptor,
                                    FileManagerPtr fileManager);

    // ---- the pipeline ----
    virtual void perform(const RequestPtr& request);
    virtual void performDataRequest(const DataRequestPtr& request);
    virtual void performDataStreamRequest(const DataStreamRequestPtr& request);
    virtual void performUploadRequest(const UploadRequestPtr& request);
    virtual void performDownloadRequest(const DownloadRequestPtr& request);
    virtual void performSetupOperations(const RequestPtr& request, const URLRequestConvertiblePtr& convertible,
                                        std::function<bool()> shouldCreateTask);
    virtual void didCreateURLRequest(const platform::URLRequest& urlRequest, const RequestPtr& request);
    virtual void didReceiveResumeData(const platform::Data& data, const DownloadRequestPtr& request);
    virtual void updateStatesForTask(const platform::URLSessionTaskPtr& task, const RequestPtr& request);
    virtual RequestAdapterPtr adapter(const RequestPtr& forRequest);
    virtual RequestRetrierPtr retrier(const RequestPtr& forRequest);
    virtual void finishRequestsForDeinit();

    // ---- RequestDelegate ----
    platform::URLSessionConfiguration sessionConfiguration() const override;
    bool startImmediately() const override { return startRequestsImmediately; }
    void cleanup(const RequestPtr& after) override;
    void retryResult(const RequestPtr& request, const HWError& dueTo,
                     std::function<void(RetryResult)> completion) override;
    void retryRequest(const RequestPtr& request, std::optional<double> withDelay) override;

    // ---- SessionStateProvider ----
    ServerTrustManagerPtr serverTrustManager() const override { return serverTrustManager_; }
    RedirectHandlerPtr redirectHandler() const override { return redirectHandler_; }
    CachedResponseHandlerPtr cachedResponseHandler() const override { return cachedResponseHandler_; }
    RequestPtr request(const platform::URLSessionTaskPtr& forTask) override;
    void didGatherMetricsForTask(const platform::URLSessionTaskPtr& task) override;
    void didCompleteTask(const platform::URLSessionTaskPtr& task, std::function<void()> completion) override;
    platform::URLCredentialPtr credential(const platform::URLSessionTaskPtr& forTask,
                                          const platform::URLProtectionSpace& in) override;
    void cancelRequestsForSessionInvalidation(const platform::ErrorPtr& with) override;

    // ---- root-queue state; read and written on rootQueue only ----
    const RequestTaskMap& requestTaskMap() const { return requestTaskMap_; }
    const std::unordered_set<RequestPtr>& activeRequests() const { return activeRequests_; }
    std::size_t waitingCompletionCount() const { return waitingCompletions_.size(); }

protected:
    // What a session is constructed from, once the checks of construction have passed.
    // A subclass is made the same way as a session: its constructor takes these (and
    // anything of its own) and hands them on, and its factory passes the new object to
    // `completeCreation`, e.g. `completeCreation(new Mine(construction(configuration), extra))`.
    struct Construction {
        platform::URLSessionPtr session;
        SessionDelegatePtr delegate;
        DispatchQueuePtr rootQueue;
        bool startRequestsImmediately = true;
        DispatchQueuePtr requestQueue;
        DispatchQueuePtr serializationQueue;
        RequestInterceptorPtr interceptor;
        ServerTrustManagerPtr serverTrustManager;
        RedirectHandlerPtr redirectHandler;
        CachedResponseHandlerPtr cachedResponseHandler;
        std::vector<EventMonitorPtr> eventMonitors;
    };
    // The checks of the first create form (fatal on failure).
    static Construction
    construction(platform::URLSessionPtr session, SessionDelegatePtr delegate, DispatchQueuePtr rootQueue,
                 bool startRequestsImmediately = true, DispatchQueuePtr requestQueue = nullptr,
                 DispatchQueuePtr serializationQueue = nullptr, RequestInterceptorPtr interceptor = nullptr,
                 ServerTrustManagerPtr serverTrustManager = nullptr, RedirectHandlerPtr redirectHandler = nullptr,
                 CachedResponseHandlerPtr cachedResponseHandler = nullptr,
                 std::vector<EventMonitorPtr> eventMonitors = {});
    // The URL session, its delegate queue and the defaults of the second create form, checked.
    static Construction
    construction(platform::URLSessionConfiguration configuration, SessionDelegatePtr delegate = nullptr,
                 DispatchQueuePtr rootQueue = nullptr, bool startRequestsImmediately = true,
                 DispatchQueuePtr requestQueue = nullptr, DispatchQueuePtr serializationQueue = nullptr,
                 RequestInterceptorPtr interceptor = nullptr, ServerTrustManagerPtr serverTrustManager = nullptr,
                 RedirectHandlerPtr redirectHandler = nullptr, CachedResponseHandlerPtr cachedResponseHandler = nullptr,
                 std::vector<EventMonitorPtr> eventMonitors = {});
    explicit Session(Construction parts);

    // Owns a newly constructed session of any kind and runs the second phase of its
    // construction (what needs a weak self). When the last owner lets go, the owner's
    // deleter calls finishRequestsForDeinit() while the whole object, override included,
    // still exists, and only then destroys it.
    template <class S>
    static std::shared_ptr<S> completeCreation(S* made) {
        std::shared_ptr<S> owned(made, [](S* session) {
            session->finishRequestsForDeinit();
            delete session;
        });
        owned->connectDelegate();
        return owned;
    }
    void connectDelegate();

private:
    RequestTaskMap requestTaskMap_;
    std::unordered_set<RequestPtr> activeRequests_;
    std::unordered_map<platform::URLSessionTaskPtr, std::function<void()>> waitingCompletions_;
};

}  // namespace Hawser
