// The completion decides the outcome in a fixed order: transport error, non-HTTP
// response, status, JSON media types (the media type as the server sent it, compared
// exactly), text media types, raw data. "No body" stays apart from "an empty body": nil
// in the fulfilment and no failing-data entry in a rejection. The JSON and text branches
// read a missing body as an empty one.
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
    std::fprintf(stderr, "Pledge: NSURLSession+AnyPromise: a data task completed on the main thread "
                         "(![NSThread isMainThread] does not hold); give the session a background delegate queue.\n");
}

// The media type of the response's Content-Type as sent, without parameters.
std::string mediaTypeAsSent(const platform::HTTPURLResponse& http) {
    std::string type = http.value("Content-Type").value_or("");
    type = type.substr(0, type.find(';'));
    const auto first = type.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return type.substr(first, type.find_last_not_of(" \t") - first + 1);
}

class Completion {
public:
    Completion(const platform::URLRequest& request, std::optional<platform::Data> data,
               platform::URLResponsePtr response)
        : request_(request), data_(std::move(data)), response_(std::move(response)) {}

    platform::Value outcome(const platform::ErrorPtr& transportError) {
        if (transportError) return reject(*transportError, {});
        auto http = std::dynamic_pointer_cast<const platform::HTTPURLResponse>(response_);
        if (!http) return fulfil(dataValue());
        if (http->statusCode() < 200 || http->statusCode() >= 300)
            return rejectForURL(platform::URLError::Code::badServerResponse,
                                "The server returned a bad HTTP response code");
        const std::string mime = mediaTypeAsSent(*http);
        for (const char* type : jsonMediaTypes)
            if (mime == type) return json(*http);
        if (mime.rfind("text/", 0) == 0) {
            if (auto text = textEncoding(response_.get()).decode(body())) return fulfil(platform::Value(*text));
            return rejectForURL(platform::URLError::Code::cannotDecodeContentData,
                                "The server returned invalid string data");
        }
        return fulfil(dataValue());
    }

private:
    platform::Value json(const platform::HTTPURLResponse& http) {
        if (http.expectedContentLength() == 1 && data_ && data_->count() == 1 && data_->data()[0] == ' ')
            return fulfil({});
        auto parsed = platform::JSONSerialization::jsonObject(
            body(), platform::JSONReadingOptions::mutableContainers | platform::JSONReadingOptions::fragmentsAllowed);
        if (parsed.isSuccess()) return fulfil(parsed.value());
        const platform::Error& parserError = *parsed.error();
        platform::Value::Dictionary extra;
        if (data_) {
            if (auto text = textEncoding(response_.get()).decode(*data_)) extra[PLGURLErrorFailingStringKey] = *text;
        }
        const std::int64_t length = http.expectedContentLength();
        const std::string size = length > 0 ? std::to_string(length) + " bytes" : "";
        extra[platform::NSLocalizedDescriptionKey] =
            "The server claimed a " + size +
            " JSON response, but decoding failed with: " + parserError.localizedDescription();
        return reject(parserError, std::move(extra));
    }

    const platform::Data& body() const {
        static const platform::Data none;
        return data_ ? *data_ : none;
    }
    // The body as a runtime value: nil when the completion brought none.
    platform::Value dataValue() const { return data_ ? platform::Value(*data_) : platform::Value(); }

    platform::Value fulfil(platform::Value responseObject) const {
        return platform::Value(
            PLGArrayWithCount(3, std::move(responseObject), platform::responseObjectValue(response_), dataValue()));
    }

    // A new error of `e`'s domain and code: its user info, then `extra`, then the body
    // and the response when the completion brought them.
    platform::Value reject(const platform::Error& e, platform::Value::Dictionary extra) const {
        platform::Value::Dictionary info = e.userInfo();
        for (auto& [key, value] : extra) info[key] = std::move(value);
        if (data_) info[PLGURLErrorFailingDataKey] = *data_;
        if (response_) info[PLGURLErrorFailingURLResponseKey] = platform::responseObjectValue(response_);
        return platform::errorObjectValue(platform::NSError::make(e.domain(), e.code(), std::move(info)));
    }

    platform::Value rejectForURL(platform::URLError::Code code, const char* description) const {
        platform::Value::Dictionary info{{platform::NSLocalizedDescriptionKey, description}};
        if (request_.url()) {
            info[platform::NSURLErrorFailingURLStringErrorKey] = request_.url()->absoluteString();
            info[platform::NSURLErrorFailingURLErrorKey] = request_.url()->absoluteString();
        }
        return reject(platform::NSError(platform::NSURLErrorDomain, static_cast<std::int64_t>(code), std::move(info)),
                      {});
    }

    platform::URLRequest request_;
    std::optional<platform::Data> data_;
    platform::URLResponsePtr response_;
};

}  // namespace

platform::Value dataTaskOutcome(const platform::URLRequest& request, std::optional<platform::Data> data,
                                platform::URLResponsePtr response, const platform::ErrorPtr& error) {
    return Completion(request, std::move(data), std::move(response)).outcome(error);
}

AnyPromisePtr promiseDataTaskWithRequest(const platform::URLSessionPtr& session, const platform::URLRequest& request) {
    return AnyPromise::promiseWithResolver([&](const AnyPromise::Resolve& resolve) {
        auto task =
            session->dataTask(request, [resolve, request](std::optional<platform::Data> data,
                                                          platform::URLResponsePtr response, platform::ErrorPtr error) {
                if (platform::Thread::isMainThread()) reportMainThreadCompletion();
                resolve(dataTaskOutcome(request, std::move(data), std::move(response), error));
            });
        task->resume();
    });
}

}  // namespace Pledge
