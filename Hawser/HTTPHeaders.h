// The header block of an HTTP exchange: an ordered list of name/value pairs whose
// names match without regard to letter case, the header factories, the default
// header set every session sends, and the bridges to the platform's request,
// response and session configuration.
#pragma once
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/net/URLSessionConfiguration.h"

namespace Hawser {

struct HTTPHeader {
    std::string name;
    std::string value;

    HTTPHeader() = default;
    HTTPHeader(std::string name, std::string value) : name(std::move(name)), value(std::move(value)) {}

    // name + ": " + value
    std::string description() const { return name + ": " + value; }

    // Both fields compared exactly; the name is case-sensitive here.
    friend bool operator==(const HTTPHeader&, const HTTPHeader&) = default;

    static HTTPHeader accept(std::string value) { return {"Accept", std::move(value)}; }
    static HTTPHeader acceptCharset(std::string value) { return {"Accept-Charset", std::move(value)}; }
    static HTTPHeader acceptLanguage(std::string value) { return {"Accept-Language", std::move(value)}; }
    static HTTPHeader acceptEncoding(std::string value) { return {"Accept-Encoding", std::move(value)}; }
    // "Basic " + Base64 of the UTF-8 bytes of username + ":" + password.
    static HTTPHeader authorization(std::string_view username, std::string_view password);
    static HTTPHeader authorization(std::string value) { return {"Authorization", std::move(value)}; }
    static HTTPHeader authorizationBearer(std::string_view bearerToken) {
        return {"Authorization", "Bearer " + std::string(bearerToken)};
    }
    static HTTPHeader contentDisposition(std::string value) { return {"Content-Disposition", std::move(value)}; }
    static HTTPHeader contentEncoding(std::string value) { return {"Content-Encoding", std::move(value)}; }
    static HTTPHeader contentType(std::string value) { return {"Content-Type", std::move(value)}; }
    static HTTPHeader userAgent(std::string value) { return {"User-Agent", std::move(value)}; }

    // The default headers, each built once on first use and then shared.
    // "br;q=1.0, gzip;q=0.9, deflate;q=0.8"
    static const HTTPHeader& defaultAcceptEncoding();
    // The first six of the user's preferred languages, quality-encoded.
    static const HTTPHeader& defaultAcceptLanguage();
    // executable/version (bundle; build:N; OS x.y.z) Hawser/5.7.1
    static const HTTPHeader& defaultUserAgent();
};

// Each element + ";q=" + (1.0 - 0.1 * position) in its shortest form, joined by ", ".
std::string qualityEncoded(const std::vector<std::string>& values);

// The User-Agent text from the bundle's information entries, the launch arguments and
// the running system (name and major.minor.patch). Exposed so it can be checked
// against other inputs than the process's own.
std::string userAgentText(const std::optional<platform::Value::Dictionary>& infoDictionary,
                          const std::vector<std::string>& launchArguments, const std::string& osName,
                          const std::string& osVersion);

class HTTPHeaders {
public:
    using const_iterator = std::vector<HTTPHeader>::const_iterator;

    HTTPHeaders() = default;
    // Each header in order through update().
    HTTPHeaders(std::initializer_list<HTTPHeader> headers);
    explicit HTTPHeaders(const std::vector<HTTPHeader>& headers);
    // Each pair, in the map's order, through update().
    explicit HTTPHeaders(const std::map<std::string, std::string>& dictionary);

    // The three default headers: Accept-Encoding, Accept-Language, User-Agent.
    // (`default` is a keyword here, hence the underscore.)
    static const HTTPHeaders& default_();

    // add() is update(): the first header whose name matches case-insensitively is
    // replaced in place (new spelling, new value); otherwise the header is appended.
    void add(const std::string& name, const std::string& value) { update(name, value); }
    void add(const HTTPHeader& header) { update(header); }
    void update(const std::string& name, const std::string& value) { update(HTTPHeader(name, value)); }
    void update(const HTTPHeader& header);
    // Removes the first match only.
    void remove(std::string_view name);
    std::optional<std::string> value(std::string_view name) const;
    // Reading is value(); writing a value updates, writing none removes.
    std::optional<std::string> operator[](std::string_view name) const { return value(name); }
    void set(const std::string& name, const std::optional<std::string>& value);

    // Stable, by lower-cased name.
    void sort();
    HTTPHeaders sorted() const;

    // Name (as stored) to value; a later identical name overwrites an earlier one.
    std::map<std::string, std::string> dictionary() const;

    const std::vector<HTTPHeader>& headers() const { return headers_; }
    std::size_t count() const { return headers_.size(); }
    bool isEmpty() const { return headers_.empty(); }
    const HTTPHeader& operator[](std::size_t position) const { return headers_[position]; }
    const_iterator begin() const { return headers_.begin(); }
    const_iterator end() const { return headers_.end(); }

    // Each header's "name: value", joined by "\n".
    std::string description() const;

    friend bool operator==(const HTTPHeaders&, const HTTPHeaders&) = default;

private:
    std::vector<HTTPHeader> headers_;
};

// Bridges to the platform's objects. The platform keeps header fields in a
// dictionary, so the order read back is that dictionary's, not the order written.
HTTPHeaders headers(const platform::URLRequest& request);
void setHeaders(platform::URLRequest& request, const HTTPHeaders& headers);
HTTPHeaders headers(const platform::HTTPURLResponse& response);
// Empty unless every key and value of the additional headers is text.
HTTPHeaders headers(const platform::URLSessionConfiguration& configuration);
void setHeaders(platform::URLSessionConfiguration& configuration, const HTTPHeaders& headers);

}  // namespace Hawser

// Feeds the name, then the value.
template <>
struct std::hash<Hawser::HTTPHeader> {
    std::size_t operator()(const Hawser::HTTPHeader& header) const noexcept {
        std::size_t seed = std::hash<std::string>()(header.name);
        return seed ^ (std::hash<std::string>()(header.value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
    }
};
