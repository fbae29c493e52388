// The request kind whose body the URL session writes to a temporary file, which is then
// moved to a destination chosen by a closure; with progress, cancellation that can
// produce resume data, and validation that sees the file.
#pragma once
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "Hawser/Request.h"
#include "Hawser/URLConvertible.h"
#include "platform/base/OptionSet.h"
#include "platform/files/FileManager.h"

namespace Hawser {

class DownloadRequest : public Request {
public:
    // What to do at the destination before the file is moved there.
    struct Options : platform::OptionSet<Options, std::int64_t> {
        using OptionSet::OptionSet;
        constexpr Options(OptionSet o) : OptionSet(o) {}
        static const Options createIntermediateDirectories;
        static const Options removePreviousFile;
    };
    struct DestinationResult {
        platform::URL destinationURL;
        Options options;
    };
    // Given the temporary file and the response, where the file goes.
    using Destination =
        std::function<DestinationResult(const platform::URL& temporaryURL, const platform::HTTPURLResponse& response)>;

    // Where the task comes from: a URL request, or the resume data of an earlier download.
    class Downloadable {
    public:
        struct FromRequest {
            URLRequestConvertiblePtr convertible;
        };
        struct FromResumeData {
            platform::Data resumeData;
        };
        static Downloadable request(URLRequestConvertiblePtr convertible) {
            return Downloadable(FromRequest{std::move(convertible)});
        }
        static Downloadable resumeData(platform::Data data) { return Downloadable(FromResumeData{std::move(data)}); }
        const FromRequest* asRequest() const { return std::get_if<FromRequest>(&value_); }
        const FromResumeData* asResumeData() const { return std::get_if<FromResumeData>(&value_); }

    private:
        explicit Downloadable(std::variant<FromRequest, FromResumeData> v) : value_(std::move(v)) {}
        std::variant<FromRequest, FromResumeData> value_;
    };

    struct DownloadRequestMutableState {
        std::optional<platform::Data> resumeData;
        std::optional<platform::URL> fileURL;
    };

    using Validation = std::function<ValidationResult(
        const std::optional<URLRequest>&, const platform::HTTPURLResponse&, const std::optional<platform::URL>&)>;

    static DownloadRequestPtr create(platform::UUID id, Downloadable downloadable, DispatchQueuePtr underlyingQueue,
                                     DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor,
                                     RequestInterceptorPtr interceptor, std::weak_ptr<RequestDelegate> delegate,
                                     Destination destination);

    // The first folder of `directory` with the response's suggested file name (always a
    // plain, safe name); the temporary file itself when the folder is unknown.
    static Destination suggestedDownloadDestination(
        platform::SearchPathDirectory directory = platform::SearchPathDirectory::documentDirectory,
        platform::SearchPathDomainMask domain = platform::SearchPathDomainMask::userDomainMask, Options options = {});

    const Downloadable downloadable;
    const Destination destination;

    // Stored resume data, else what the request's error carries, else none.
    virtual std::optional<platform::Data> resumeData() const;
    // Where the file ended up, once moved.
    virtual std::optional<platform::URL> fileURL() const;

    using Request::task;
    URLSessionTaskPtr task(const URLRequest& request, const URLSessionPtr& session) override;
    void performIn(Session& session) override;
    virtual URLSessionTaskPtr task(const platform::Data& forResumeData, const URLSessionPtr& session);
    virtual void didFinishDownloading(const URLSessionTaskPtr& task,
                                      const platform::Result<platform::URL, HWError>& result);
    virtual void updateDownloadProgress(std::int64_t bytesWritten, std::int64_t totalBytesExpectedToWrite);

    RequestPtr cancel() override;
    // With true the resume data is kept in resumeData(); the caller gets no callback.
    // (Exactly a bool, so that a closure never converts to this overload.)
    template <std::same_as<bool> B>
    DownloadRequestPtr cancel(B producingResumeData) {
        return cancelOptionallyProducingResumeData(
            producingResumeData ? std::optional(ResumeDataHandler([](std::optional<platform::Data>) {}))
                                : std::nullopt);
    }
    // The handler receives the resume data (or none), unless the task had already ended.
    using ResumeDataHandler = std::function<void(std::optional<platform::Data>)>;
    virtual DownloadRequestPtr cancel(ResumeDataHandler byProducingResumeData);
    virtual DownloadRequestPtr validate(Validation validation);
    void reset() override;

protected:
    DownloadRequest(platform::UUID id, Downloadable downloadable, DispatchQueuePtr underlyingQueue,
                    DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor,
                    RequestInterceptorPtr interceptor, std::weak_ptr<RequestDelegate> delegate,
                    Destination destination);
    DownloadRequestPtr selfAsDownload() { return std::static_pointer_cast<DownloadRequest>(shared_from_this()); }
    // Shared by the three cancel calls; without a handler no resume data is asked for.
    virtual DownloadRequestPtr cancelOptionallyProducingResumeData(std::optional<ResumeDataHandler> handler);

    platform::Protected<DownloadRequestMutableState> mutableDownloadState;
};

inline constexpr DownloadRequest::Options DownloadRequest::Options::createIntermediateDirectories{1};
inline constexpr DownloadRequest::Options DownloadRequest::Options::removePreviousFile{2};

}  // namespace Hawser
