// What the parts of a task's driver share: limits, small HTTP helpers, and the channel
// through which the I/O thread hands bytes and progress to the delegate queue.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/base/Data.h"
#include "platform/base/Trim.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLCredential.h"
#include "platform/net/URLSessionTask.h"

namespace platform::driver {

inline constexpr std::size_t kMaxHeaderBlock = 256 * 1024;      // a larger header block is refused
inline constexpr std::size_t kMaxInterceptedBody = 1024 * 1024;  // body of a redirect or 401 kept aside
inline constexpr std::size_t kMaxPendingData = 4 * 1024 * 1024;  // data waiting for the delegate
inline constexpr std::size_t kCacheableBodyLimit = 1024 * 1024;

// A header line without its surrounding spaces, tabs and line ends.
inline std::string_view trim(std::string_view s) { return trimmed(s, " \t\r\n"); }

inline bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

inline int defaultPort(const URL& url) { return url.port().value_or(url.scheme() == "https" ? 443 : 80); }

inline bool sameOrigin(const URL& a, const URL& b) {
    return a.scheme() == b.scheme() && a.host() == b.host() && defaultPort(a) == defaultPort(b);
}

// The strongest scheme a WWW-Authenticate value offers that we answer, with its realm.
inline std::optional<std::pair<std::string, std::optional<std::string>>> authenticationScheme(const HTTPHeaderFields& headers) {
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



template <class F>
auto once(F f) {
    auto called = std::make_shared<std::atomic<bool>>(false);
    return [called, f = std::move(f)](auto&&... args) mutable {
        if (called->exchange(true)) return;
        f(std::forward<decltype(args)>(args)...);
    };
}

}  // namespace platform::driver

namespace platform {

// What the I/O thread hands to the delegate queue without waiting for it: received bytes
// and progress figures, taken by whichever callback runs next.
struct DeliveryChannel {
    std::mutex mutex;
    Data pending;
    bool dataScheduled = false;
    bool backpressured = false;
    bool holding = false;  // bytes wait until the delegate has answered the response
    bool progressScheduled = false;
    std::int64_t progressDelta = 0, progressTotal = 0, progressExpected = NSURLSessionTransferSizeUnknown;
    std::chrono::steady_clock::time_point lastProgress{};  // when progress was last scheduled
    bool uploadScheduled = false;
    std::int64_t uploadDelta = 0, uploadTotal = 0, uploadExpected = 0;
};

}  // namespace platform
