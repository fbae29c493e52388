// What the parts of a task's driver share: limits and small HTTP helpers.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/foundation/URL.h"
#include "platform/net/URLCredential.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionTask.h"

namespace platform::driver {

inline constexpr std::size_t kMaxInterceptedBody = 1024 * 1024;  // body of a redirect or 401 kept aside
inline constexpr std::size_t kCacheableBodyLimit = 1024 * 1024;

inline bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

inline int defaultPort(const URL& url) { return url.port().value_or(url.scheme() == "https" ? 443 : 80); }

inline bool sameOrigin(const URL& a, const URL& b) {
    return a.scheme() == b.scheme() && a.host() == b.host() && defaultPort(a) == defaultPort(b);
}

// The strongest scheme a WWW-Authenticate value offers that we answer, with its realm.
inline std::optional<std::pair<std::string, std::optional<std::string>>>
authenticationScheme(const HTTPHeaderFields& headers) {
    auto value = headers.value("WWW-Authenticate");
    if (!value) return std::nullopt;
    std::string lower = lowercased(*value);
    std::string method;
    std::size_t at = std::string::npos;
    if ((at = lower.find("digest")) != std::string::npos) method = NSURLAuthenticationMethodHTTPDigest;
    else if ((at = lower.find("basic")) != std::string::npos) method = NSURLAuthenticationMethodHTTPBasic;
    else return std::nullopt;
    std::optional<std::string> realm;
    auto r = lower.find("realm=", at);
    if (r != std::string::npos) {
        std::size_t start = r + 6, end;
        if (start < value->size() && (*value)[start] == '"') {
            end = value->find('"', start + 1);
            realm = value->substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        } else {
            end = value->find_first_of(", ", start);
            realm = value->substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
    }
    return std::make_pair(method, realm);
}

// The request a redirect with `status` leads to: the Location resolved against the
// request's URL, the method and body as the status asks, and no credentials or cookies
// when it leaves the origin. None when the Location is missing or not an http(s) URL
// with a host (the redirect's own response is then the answer).
std::optional<URLRequest> redirectedRequest(const URLRequest& request, int status, const HTTPHeaderFields& headers);

// The whole length of a download resumed at `resumeOffset` that a 206 answer announces:
// the length in its Content-Range, else the offset plus `expected` (the length of the
// rest), else -1 (unknown, or a sum out of range). None when the range does not start at
// the offset asked for.
std::optional<std::int64_t> resumedTotalLength(const std::string& contentRange, std::int64_t resumeOffset,
                                               std::int64_t expected);

template <class F>
auto once(F f) {
    auto called = std::make_shared<std::atomic<bool>>(false);
    return [called, f = std::move(f)](auto&&... args) mutable {
        if (called->exchange(true)) return;
        f(std::forward<decltype(args)>(args)...);
    };
}

}  // namespace platform::driver
