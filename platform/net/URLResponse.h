// What a server answered: the generic response and the HTTP response with its status
// and header fields.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/URL.h"
#include "platform/net/HTTPHeaderFields.h"

namespace platform {

inline constexpr std::int64_t NSURLResponseUnknownLength = -1;

class URLResponse {
public:
    URLResponse(std::optional<URL> url, std::optional<std::string> mimeType, std::int64_t expectedContentLength,
                std::optional<std::string> textEncodingName)
        : url_(std::move(url)), mimeType_(std::move(mimeType)), expectedContentLength_(expectedContentLength),
          textEncodingName_(std::move(textEncodingName)) {}
    virtual ~URLResponse() = default;

    const std::optional<URL>& url() const { return url_; }
    // Lower-cased media type without parameters ("text/html").
    const std::optional<std::string>& mimeType() const { return mimeType_; }
    // -1 when unknown.
    std::int64_t expectedContentLength() const { return expectedContentLength_; }
    // The charset parameter of the media type, lower-cased.
    const std::optional<std::string>& textEncodingName() const { return textEncodingName_; }
    // A file name safe to create in a folder: never empty, never holding "/" and never
    // "." or "..". From Content-Disposition, else the URL's last path component, else
    // "Unknown".
    virtual std::string suggestedFilename() const;

protected:
    std::optional<URL> url_;
    std::optional<std::string> mimeType_;
    std::int64_t expectedContentLength_;
    std::optional<std::string> textEncodingName_;
};

class HTTPURLResponse : public URLResponse {
public:
    HTTPURLResponse(URL url, int statusCode, std::string httpVersion, HTTPHeaderFields headerFields);

    int statusCode() const { return statusCode_; }
    const std::string& httpVersion() const { return httpVersion_; }
    std::map<std::string, std::string> allHeaderFields() const { return headers_.dictionary(); }
    const HTTPHeaderFields& headerFields() const { return headers_; }
    std::optional<std::string> value(std::string_view headerField) const { return headers_.value(headerField); }
    std::string suggestedFilename() const override;

    // The platform's short English text for a status code ("not found").
    static std::string localizedString(int statusCode);

private:
    int statusCode_;
    std::string httpVersion_;
    HTTPHeaderFields headers_;
};

using URLResponsePtr = std::shared_ptr<const URLResponse>;
using HTTPURLResponsePtr = std::shared_ptr<const HTTPURLResponse>;

// The media type and charset of a Content-Type value, lower-cased.
void parseContentType(std::string_view value, std::optional<std::string>* mimeType,
                      std::optional<std::string>* charset);
// A file name that is safe to create: the last segment of `name` after any "/" or "\",
// none when that is empty, "." or "..", or holds control characters.
std::optional<std::string> safeFilename(std::string_view name);

}  // namespace platform
