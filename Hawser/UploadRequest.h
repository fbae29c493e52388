// The request kind that sends a body from memory, a file or a stream, and collects the
// response like a data request. The body is made lazily, once per attempt, from an
// `UploadableConvertible`; a temporary body file is removed when the request is done.
#pragma once
#include <memory>
#include <optional>
#include <variant>

#include "Hawser/DataRequest.h"
#include "platform/files/FileManager.h"
#include "platform/net/InputStream.h"

namespace Hawser {

class Uploadable;

// Anything that can make the body of an upload; throws platform::ErrorException.
class UploadableConvertible {
public:
    virtual ~UploadableConvertible() = default;
    virtual Uploadable createUploadable() const = 0;
};

// What the session creates upload requests from: a body source that is also the source
// of the URL request.
class UploadConvertible : public UploadableConvertible, public URLRequestConvertible {};
using UploadConvertiblePtr = std::shared_ptr<const UploadConvertible>;

// The body of one attempt.
class Uploadable final : public UploadableConvertible {
public:
    struct FromData {
        platform::Data data;
    };
    struct FromFile {
        platform::URL url;
        // Remove the file when the request is cleaned up.
        bool shouldRemove = false;
    };
    struct FromStream {
        platform::InputStreamPtr stream;
    };

    static Uploadable data(platform::Data data) { return Uploadable(FromData{std::move(data)}); }
    static Uploadable file(platform::URL url, bool shouldRemove = false) {
        return Uploadable(FromFile{std::move(url), shouldRemove});
    }
    static Uploadable stream(platform::InputStreamPtr stream) { return Uploadable(FromStream{std::move(stream)}); }

    const FromData* asData() const { return std::get_if<FromData>(&value_); }
    const FromFile* asFile() const { return std::get_if<FromFile>(&value_); }
    const FromStream* asStream() const { return std::get_if<FromStream>(&value_); }

    // An uploadable is its own source.
    Uploadable createUploadable() const override { return *this; }

private:
    explicit Uploadable(std::variant<FromData, FromFile, FromStream> v) : value_(std::move(v)) {}
    std::variant<FromData, FromFile, FromStream> value_;
};

class UploadRequest : public DataRequest {
public:
    static UploadRequestPtr create(platform::UUID id, UploadConvertiblePtr convertible,
                                   DispatchQueuePtr underlyingQueue, DispatchQueuePtr serializationQueue,
                                   EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                                   std::shared_ptr<platform::FileManager> fileManager,
                                   std::weak_ptr<RequestDelegate> delegate);

    const UploadConvertiblePtr upload;
    const std::shared_ptr<platform::FileManager> fileManager;

    // The body of the current attempt; none before it is made and after each reset.
    virtual std::optional<Uploadable> uploadable() const { return uploadable_.get(); }

    // From the session, on the underlying queue.
    virtual void didCreateUploadable(const Uploadable& uploadable);
    virtual void didFailToCreateUploadable(const HWError& error);
    using Request::task;
    URLSessionTaskPtr task(const URLRequest& request, const URLSessionPtr& session) override;
    void performIn(Session& session) override;
    // The body stream of a stream upload, when the URL session asks for it.
    virtual platform::InputStreamPtr inputStream();
    void reset() override;
    void cleanup() override;

protected:
    UploadRequest(platform::UUID id, UploadConvertiblePtr convertible, DispatchQueuePtr underlyingQueue,
                  DispatchQueuePtr serializationQueue, EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor,
                  std::shared_ptr<platform::FileManager> fileManager, std::weak_ptr<RequestDelegate> delegate);
    UploadRequestPtr selfAsUpload() { return std::static_pointer_cast<UploadRequest>(shared_from_this()); }

    // Written on the session's queue and read when the URL session asks for the stream;
    // a lock keeps the two apart.
    platform::Protected<std::optional<Uploadable>> uploadable_;
};

}  // namespace Hawser
