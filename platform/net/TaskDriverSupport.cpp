// The decisions a task's driver takes on a response head, kept apart so that they can be
// called (and fuzzed) on their own.
#include "platform/net/TaskDriverSupport.h"

#include <cstdio>
#include <limits>

namespace platform::driver {

std::optional<URLRequest> redirectedRequest(const URLRequest& request, int status, const HTTPHeaderFields& headers) {
    auto location = headers.value("Location");
    auto next = location && request.url() ? URL::parse(*location, *request.url()) : std::nullopt;
    if (!next || (next->scheme() != "http" && next->scheme() != "https") || !next->host()) return std::nullopt;
    URLRequest newRequest = request;
    newRequest.setURL(*next);
    std::string method = request.httpMethod();
    if ((status == 303 && method != "HEAD") || ((status == 301 || status == 302) && method == "POST")) {
        newRequest.setHTTPMethod("GET");
        newRequest.setHTTPBody(std::nullopt);
        newRequest.setHTTPBodyStream(nullptr);
        newRequest.setValue(std::nullopt, "Content-Type");
        newRequest.setValue(std::nullopt, "Content-Length");
    }
    // Credentials meant for one server do not follow a redirect to another; cookies from
    // the session's store are chosen for the new URL when the request goes out.
    if (!sameOrigin(*request.url(), *next)) {
        newRequest.setValue(std::nullopt, "Authorization");
        newRequest.setValue(std::nullopt, "Cookie");
    }
    return newRequest;
}

std::optional<std::int64_t> resumedTotalLength(const std::string& contentRange, std::int64_t resumeOffset,
                                               std::int64_t expected) {
    long long first = -1, last = -1, whole = -1;
    if (std::sscanf(contentRange.c_str(), "bytes %lld-%lld/%lld", &first, &last, &whole) < 2 || first != resumeOffset)
        return std::nullopt;
    if (whole > 0) return whole;
    // A length the sum cannot hold (a server may announce any) is as good as none.
    if (expected < 0 || expected > std::numeric_limits<std::int64_t>::max() - resumeOffset) return -1;
    return resumeOffset + expected;
}

}  // namespace platform::driver
