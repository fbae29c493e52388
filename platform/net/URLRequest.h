// A URL request as a value: URL, optional method, header fields, body (bytes or a
// stream), time-out and cache policy.
#pragma once
#include <map>
#include <optional>
#include <string>

#include "platform/base/Data.h"
#include "platform/foundation/URL.h"
#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/InputStream.h"

namespace platform {

class URLRequest {
public:
    enum class CachePolicy : unsigned {
        useProtocolCachePolicy = 0,
        reloadIgnoringLocalCacheData = 1,
        returnCacheDataElseLoad = 2,
        returnCacheDataDontLoad = 3,
        reloadIgnoringLocalAndRemoteCacheData = 4,
        reloadRevalidatingCacheData = 5,
    };
    static constexpr double defaultTimeoutInterval = 60;

    URLRequest() = default;
    explicit URLRequest(std::optional<URL> url, CachePolicy cachePolicy = CachePolicy::useProtocolCachePolicy,
                        double timeoutInterval = defaultTimeoutInterval)
        : url_(std::move(url)), cachePolicy_(cachePolicy), timeoutInterval_(timeoutInterval) {}

    const std::optional<URL>& url() const { return url_; }
    void setURL(std::optional<URL> url) { url_ = std::move(url); }

    // "GET" when none was set.
    std::string httpMethod() const { return method_.value_or("GET"); }
    const std::optional<std::string>& explicitHTTPMethod() const { return method_; }
    void setHTTPMethod(std::optional<std::string> method) { method_ = std::move(method); }

    std::optional<std::string> value(std::string_view headerField) const { return headers_.value(headerField); }
    void setValue(std::optional<std::string> value, const std::string& headerField) {
        headers_.set(headerField, std::move(value));
    }
    void addValue(const std::string& value, const std::string& headerField) { headers_.add(headerField, value); }
    // Every field, or none when no field was ever set (the platform's nil dictionary).
    std::optional<std::map<std::string, std::string>> allHTTPHeaderFields() const;
    // Replaces every field; none clears them.
    void setAllHTTPHeaderFields(const std::optional<std::map<std::string, std::string>>& fields);
    const HTTPHeaderFields& headerFields() const { return headers_; }
    HTTPHeaderFields& headerFields() { return headers_; }

    const std::optional<Data>& httpBody() const { return body_; }
    // Setting bytes drops a stream and the other way round, as only one body is sent.
    void setHTTPBody(std::optional<Data> body);
    const InputStreamPtr& httpBodyStream() const { return bodyStream_; }
    void setHTTPBodyStream(InputStreamPtr stream);

    double timeoutInterval() const { return timeoutInterval_; }
    void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }
    CachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(CachePolicy policy) { cachePolicy_ = policy; }
    bool httpShouldHandleCookies() const { return shouldHandleCookies_; }
    void setHTTPShouldHandleCookies(bool value) { shouldHandleCookies_ = value; }

    // The first header field whose name or value could smuggle a line into the request
    // (CR, LF or NUL), as "name"; none when every field is safe.
    std::optional<std::string> unsafeHeaderField() const;

    friend bool operator==(const URLRequest& a, const URLRequest& b);

private:
    std::optional<URL> url_;
    std::optional<std::string> method_;
    HTTPHeaderFields headers_;
    std::optional<Data> body_;
    InputStreamPtr bodyStream_;
    CachePolicy cachePolicy_ = CachePolicy::useProtocolCachePolicy;
    double timeoutInterval_ = defaultTimeoutInterval;
    bool shouldHandleCookies_ = true;
};

}  // namespace platform
