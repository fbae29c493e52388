// Conversions of URL-like values and the request constructor the factories use.
#include "Hawser/URLConvertible.h"

#include "Hawser/HWError.h"

namespace Hawser {

platform::URL URLConvertible::asURL() const {
    if (auto text = string()) {
        if (auto url = platform::URL::parse(*text)) return *url;
        HWError::invalidURL(*this).raise();
    }
    if (auto url = this->url()) return *url;
    if (auto parts = components()) {
        if (auto url = parts->url()) return *url;
        HWError::invalidURL(*this).raise();
    }
    return std::get<std::shared_ptr<const URLConvertibleProtocol>>(value_)->asURL();
}

std::string URLConvertible::description() const {
    if (auto text = string()) return *text;
    if (auto url = this->url()) return url->absoluteString();
    if (auto parts = components()) {
        if (auto text = parts->string()) return *text;
        // Components that form no URL show their fields.
        auto field = [](const char* name, const std::optional<std::string>& v) {
            return std::string(name) + ": " + (v ? "\"" + *v + "\"" : std::string("nil"));
        };
        return "URLComponents(" + field("scheme", parts->scheme()) + ", " + field("host", parts->percentEncodedHost()) +
               ", " + field("path", parts->percentEncodedPath()) + ", " + field("query", parts->percentEncodedQuery()) +
               ")";
    }
    auto custom = std::get<std::shared_ptr<const URLConvertibleProtocol>>(value_);
    return custom ? custom->description() : "nil";
}

std::optional<platform::URLRequest> URLRequestConvertible::urlRequest() const {
    try {
        return asURLRequest();
    } catch (...) {
        return std::nullopt;
    }
}

platform::URLRequest makeURLRequest(const URLConvertible& url, const HTTPMethod& method,
                                    const std::optional<HTTPHeaders>& headers) {
    platform::URLRequest request(url.asURL(), platform::URLRequest::CachePolicy::useProtocolCachePolicy, 60);
    request.setHTTPMethod(method.rawValue);
    if (headers) request.setAllHTTPHeaderFields(headers->dictionary());
    else request.setAllHTTPHeaderFields(std::nullopt);
    return request;
}

}  // namespace Hawser
