// URL request values.
#include "platform/net/URLRequest.h"

namespace platform {

std::optional<std::map<std::string, std::string>> URLRequest::allHTTPHeaderFields() const {
    if (headers_.isEmpty()) return std::nullopt;
    return headers_.dictionary();
}

void URLRequest::setAllHTTPHeaderFields(const std::optional<std::map<std::string, std::string>>& fields) {
    headers_ = HTTPHeaderFields();
    if (!fields) return;
    for (auto& [name, value] : *fields) headers_.set(name, value);
}

void URLRequest::setHTTPBody(std::optional<Data> body) {
    body_ = std::move(body);
    if (body_) bodyStream_.reset();
}

void URLRequest::setHTTPBodyStream(InputStreamPtr stream) {
    bodyStream_ = std::move(stream);
    if (bodyStream_) body_.reset();
}

std::optional<std::string> URLRequest::unsafeHeaderField() const {
    for (auto& [name, value] : headers_.fields())
        if (isUnsafeHeaderName(name) || isUnsafeHeaderValue(value)) return name;
    return std::nullopt;
}

bool operator==(const URLRequest& a, const URLRequest& b) {
    return a.url_ == b.url_ && a.method_ == b.method_ && a.headers_ == b.headers_ && a.body_ == b.body_ &&
           a.bodyStream_ == b.bodyStream_ && a.cachePolicy_ == b.cachePolicy_ &&
           a.timeoutInterval_ == b.timeoutInterval_ && a.shouldHandleCookies_ == b.shouldHandleCookies_;
}

}  // namespace platform
