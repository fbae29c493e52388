// What request factories accept: anything that can become a URL (text, a URL, URL
// components or a type of the caller's) and anything that can become a URL request.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "Hawser/HTTPHeaders.h"
#include "Hawser/HTTPMethod.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/URLComponents.h"
#include "platform/net/URLRequest.h"

namespace Hawser {

// A caller's own type that can become a URL.
class URLConvertibleProtocol {
public:
    virtual ~URLConvertibleProtocol() = default;
    // Throws platform::ErrorException on failure.
    virtual platform::URL asURL() const = 0;
    // How an error message shows the value.
    virtual std::string description() const = 0;
};

// A value that can become a URL: text (parsed whole, no trimming or escaping), a URL
// (itself), URL components (their URL) or a caller's type.
class URLConvertible {
public:
    URLConvertible(std::string text) : value_(std::move(text)) {}
    URLConvertible(const char* text) : value_(std::string(text)) {}
    URLConvertible(platform::URL url) : value_(std::move(url)) {}
    URLConvertible(platform::URLComponents components) : value_(std::move(components)) {}
    URLConvertible(std::shared_ptr<const URLConvertibleProtocol> custom) : value_(std::move(custom)) {}

    // The URL, or throws platform::ErrorException with HWError.invalidURL carrying
    // this value (a caller's type throws what it throws).
    platform::URL asURL() const;
    // The textual form: text unchanged, a URL's absolute string, components as their
    // text (or their fields when they form no URL), a caller's type's description.
    std::string description() const;

    const std::string* string() const { return std::get_if<std::string>(&value_); }
    const platform::URL* url() const { return std::get_if<platform::URL>(&value_); }
    const platform::URLComponents* components() const { return std::get_if<platform::URLComponents>(&value_); }

private:
    std::variant<std::string, platform::URL, platform::URLComponents, std::shared_ptr<const URLConvertibleProtocol>>
        value_;
};

// Anything that can become a URL request: the session's request wrappers, the
// multipart upload, and a URL request itself (URLRequestValue).
class URLRequestConvertible {
public:
    virtual ~URLRequestConvertible() = default;
    // Throws platform::ErrorException on failure.
    virtual platform::URLRequest asURLRequest() const = 0;
    // asURLRequest(), or none when it throws (the error is dropped).
    std::optional<platform::URLRequest> urlRequest() const;
};
using URLRequestConvertiblePtr = std::shared_ptr<const URLRequestConvertible>;

// A URL request is its own convertible.
class URLRequestValue final : public URLRequestConvertible {
public:
    URLRequestValue(platform::URLRequest request) : request_(std::move(request)) {}
    platform::URLRequest asURLRequest() const override { return request_; }

private:
    platform::URLRequest request_;
};

// A request for `url` with the platform's defaults (protocol cache policy, 60 s), the
// method's name and exactly the given header fields (none without headers). The
// conversion's error is rethrown unchanged and no request is made.
platform::URLRequest makeURLRequest(const URLConvertible& url, const HTTPMethod& method,
                                    const std::optional<HTTPHeaders>& headers = std::nullopt);

}  // namespace Hawser
