// The completion decides the outcome in a fixed order: transport error, non-HTTP
// response, status, JSON media types, text media types, raw data. A completion without
// body and without error reads as an empty body.
#include "Pledge/NSURLSession+AnyPromise.h"

#include <array>
#include <atomic>
#include <cstdio>

#include "Pledge/String+URLResponse.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/net/URLError.h"
#include "platform/net/URLResponseObject.h"
#include "platform/runloop/Thread.h"

namespace Pledge {

namespace {

constexpr std::array<const char*, 5> jsonMediaTypes = {"application/json", "text/json", "text/javascript",
                                                       "application/x-javascript", "application/javascript"};

// The completion is meant to run off the main thread; a session that delivers there
// still gets its promise resolved, and the misuse is reported once per process.
void reportMainThreadCompletion() {
    static std::atomic<bool> reported{false};
    if (reported.exchange(true)) return;
    std::fprintf(stderr,
                 "Pledge: NSURLSession+AnyPromise: a data task completed on the main thread "
                 "(![NSThread isMainThread] does not hold); give the session a background delegate queue.\n");
}

class Completion {
public:
    Completion(AnyPromise::Resolve resolve, const platform::URLRequest& request, std::optional<platform::Data> data,
               platform::URLResponsePtr response)
        : resolve_(std::move(resolve)), request_(request), data_(data ? std::move(*data) : platform::Data()),
          response_(std::move(response)) {}

    void run(const platform::ErrorPtr& transportError) {
        if (transportError) return reject(*transportError, {});
        auto http = std::dynamic_pointer_cast<const platform::HTTPURLResponse>(response_);
        if (!http) return fulfil(platform::Value(data_));
        if (http->statusCode() < 200 || http->statusCode() >= 300)
            return rejectForURL(platform::URLError::Code::badServerResponse, "The server returned a bad HTTP response code");
        const std::string mime = http->mimeType().value_or("");
        for (const char* type : jsonMediaTypes)
            if (mime == type) return json(*http);
        if (mime.rfind("text/", 0) == 0) {
            if (auto text = textEncoding(response_.get()).decode(data_)) return fulfil(platform::Value(*text));
            return rejectForURL(platform::URLError::Code::cannotDecodeContentData, "The server returned invalid string data");
        }
        fulfil(platform::Value(data_));
    }

private:
    void json(const platform::HTTPURLResponse& http) {
        if (http.expectedContentLength() == 1 && data_.count() == 1 && data_.data()[0] == ' ') return fulfil({});
        auto parsed = platform::JSONSerialization::jsonObject(
            data_, platform::JSONReadingOptions::mutableContainers | platform::JSONReadingOptions::fragmentsAllowed);
        if (parsed.isSuccess()) return fulfil(parsed.value());
        const platform::Error& parserError = *parsed.error();
        platform::Value::Dictionary extra;
        if (auto text = textEncoding(response_.get()).decode(data_)) extra[PLGURLErrorFailingStringKey] = *text;
        const std::int64_t length = http.expectedContentLength();
        const std::string size = length > 0 ? std::to_string(length) + " bytes" : "";
        extra[platform::NSLocalizedDescriptionKey] = "The server claimed a " + size +
                                                     " JSON response, but decoding failed with: " +
                                                     parserError.localizedDescription();
        reject(parserError, std::move(extra));
    }

    void fulfil(platform::Value responseObject) {
        resolve_(platform::Value(PLGArrayWithCount(3, std::move(responseObject), platform::responseObjectValue(response_),
                                                   platform::Value(data_))));
    }

    // A new error of `e`'s domain and code: its user info, then `extra`, then the body
    // and the response when there is one.
    void reject(const platform::Error& e, platform::Value::Dictionary extra) {
        platform::Value::Dictionary info = e.userInfo();
        for (auto& [key, value] : extra) info[key] = std::move(value);
        info[PLGURLErrorFailingDataKey] = data_;
        if (response_) info[PLGURLErrorFailingURLResponseKey] = platform::responseObjectValue(response_);
        resolve_(platform::errorObjectValue(platform::NSError::make(e.domain(), e.code(), std::move(info))));
    }

    void rejectForURL(platform::URLError::Code code, const char* description) {
        platform::Value::Dictionary info{{platform::NSLocalizedDescriptionKey, description}};
        if (request_.url()) {
            info[platform::NSURLErrorFailingURLStringErrorKey] = request_.url()->absoluteString();
            info[platform::NSURLErrorFailingURLErrorKey] = request_.url()->absoluteString();
        }
        reject(platform::NSError(platform::NSURLErrorDomain, static_cast<std::int64_t>(code), std::move(info)), {});
    }

    AnyPromise::Resolve resolve_;
    platform::URLRequest request_;
    platform::Data data_;
    platform::URLResponsePtr response_;
};

}  // namespace

AnyPromisePtr promiseDataTaskWithRequest(const platform::URLSessionPtr& session, const platform::URLRequest& request) {
    return AnyPromise::promiseWithResolver([&](const AnyPromise::Resolve& resolve) {
        auto task = session->dataTask(request, [resolve, request](std::optional<platform::Data> data,
                                                                  platform::URLResponsePtr response,
                                                                  platform::ErrorPtr error) {
            if (platform::Thread::isMainThread()) reportMainThreadCompletion();
            Completion(resolve, request, std::move(data), std::move(response)).run(error);
        });
        task->resume();
    });
}

}  // namespace Pledge
