// Declaring what an acceptable response is: status codes from a set, media types from a
// list, or both. Each declaration appends one validator to the request; the request runs
// them when its task completes, and the first failure becomes its error.
#pragma once
#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Hawser/DataRequest.h"
#include "Hawser/DataStreamRequest.h"
#include "Hawser/DownloadRequest.h"
#include "platform/base/Data.h"
#include "platform/net/URLResponse.h"

namespace Hawser {

// Any sequence of status codes: a half-open range, a list or a set.
class StatusCodes {
public:
    static StatusCodes range(int lowerBound, int upperBound) { return StatusCodes(lowerBound, upperBound); }
    StatusCodes(std::initializer_list<int> codes) : codes_(codes) {}
    StatusCodes(std::vector<int> codes) : codes_(codes.begin(), codes.end()) {}
    StatusCodes(std::set<int> codes) : codes_(std::move(codes)) {}
    bool contains(int code) const {
        return range_ ? range_->first <= code && code < range_->second : codes_.count(code) > 0;
    }

private:
    StatusCodes(int lower, int upper) : range_(std::make_pair(lower, upper)) {}
    std::optional<std::pair<int, int>> range_;
    std::set<int> codes_;
};

// The acceptable content types, worked out each time a validator runs.
using ContentTypes = std::function<std::vector<std::string>()>;

// A media type as "type/subtype", parameters dropped; parsing never fails.
struct MIMEType {
    std::string type;
    std::string subtype;
    explicit MIMEType(std::string_view text);
    bool isWildcard() const { return type == "*" && subtype == "*"; }
    // This acceptable type against a response's type; "*" is a wildcard only here.
    bool matches(const MIMEType& response) const;
};

// 200..<300.
StatusCodes acceptableStatusCodes();
// The last URL request's "Accept" value split at "," (pieces untrimmed), else ["*/*"].
std::vector<std::string> acceptableContentTypes(const Request& request);

// The checks every request kind shares.
ValidationResult validate(const StatusCodes& statusCode, const platform::HTTPURLResponse& response);
ValidationResult validate(const std::vector<std::string>& contentType, const platform::HTTPURLResponse& response);
// An absent or empty body passes whatever the headers say.
ValidationResult validate(const std::vector<std::string>& contentType, const platform::HTTPURLResponse& response,
                          const std::optional<platform::Data>& data);

// The downloaded file's check: no file and an unreadable file fail; the file's bytes
// then stand for the body.
ValidationResult validate(const std::vector<std::string>& contentType, const platform::HTTPURLResponse& response,
                          const std::optional<platform::URL>& fileURL);

// Each appends validators and returns the request.
DataRequestPtr validate(const DataRequestPtr& request, StatusCodes statusCode);
DataRequestPtr validate(const DataRequestPtr& request, ContentTypes contentType);
// Status codes 200..<300, then the content types the request accepts.
DataRequestPtr validate(const DataRequestPtr& request);

DataStreamRequestPtr validate(const DataStreamRequestPtr& request, StatusCodes statusCode);
DataStreamRequestPtr validate(const DataStreamRequestPtr& request, ContentTypes contentType);
DataStreamRequestPtr validate(const DataStreamRequestPtr& request);

DownloadRequestPtr validate(const DownloadRequestPtr& request, StatusCodes statusCode);
// Fails when there is no file or it cannot be read; an empty file passes.
DownloadRequestPtr validate(const DownloadRequestPtr& request, ContentTypes contentType);
DownloadRequestPtr validate(const DownloadRequestPtr& request);

}  // namespace Hawser
