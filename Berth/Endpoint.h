// The provider's fully resolved description of one call: URL text, sample response,
// method, task and headers; its conversion into a URL request, header merging, and the
// equality and hashing under which calls in flight are joined.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "Berth/BerthError.h"
#include "Berth/TargetType.h"
#include "platform/base/CaseType.h"
#include "platform/base/Error.h"
#include "platform/foundation/JSONEncoder.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

namespace Berth {

// The answer a stub gives.
struct EndpointSampleResponseCases {
    struct NetworkResponse {
        int statusCode;
        platform::Data data;
    };
    struct Response {
        platform::HTTPURLResponsePtr response;
        platform::Data data;
    };
    struct NetworkError {
        platform::ErrorPtr error;
    };
    using Case = std::variant<NetworkResponse, Response, NetworkError>;
};

class EndpointSampleResponse : public platform::CaseType<EndpointSampleResponseCases> {
public:
    using CaseType::CaseType;

    static EndpointSampleResponse networkResponse(int statusCode, platform::Data data) {
        return NetworkResponse{statusCode, std::move(data)};
    }
    static EndpointSampleResponse response(platform::HTTPURLResponsePtr r, platform::Data data) {
        return Response{std::move(r), std::move(data)};
    }
    static EndpointSampleResponse networkError(platform::ErrorPtr error) { return NetworkError{std::move(error)}; }
};

class Endpoint;
using EndpointPtr = std::shared_ptr<const Endpoint>;

class Endpoint {
public:
    using SampleResponseClosure = std::function<EndpointSampleResponse()>;

    Endpoint(std::string url, SampleResponseClosure sampleResponseClosure, HTTPMethod method, Task task,
             std::optional<HeaderFields> httpHeaderFields);
    virtual ~Endpoint() = default;

    const std::string url;
    // Called anew each time a stub runs.
    const SampleResponseClosure sampleResponseClosure;
    const HTTPMethod method;
    const Task task;
    const std::optional<HeaderFields> httpHeaderFields;

    // A copy with the fields merged by add(httpHeaderFields:).
    virtual EndpointPtr adding(const std::optional<HeaderFields>& newHTTPHeaderFields) const;
    virtual EndpointPtr replacing(Task task) const;
    // Absent or empty new fields keep the own fields as they are (absent stays absent);
    // otherwise the own fields with every new key written over them.
    virtual std::optional<HeaderFields> add(const std::optional<HeaderFields>& httpHeaderFields) const;

    // The URL request; throws platform::ErrorException carrying a BerthError.
    platform::URLRequest urlRequest() const;

    // Equal URL requests (and equal upload payloads for the upload cases); endpoints
    // that make no request are equal when their URL texts and payloads are.
    friend bool operator==(const Endpoint& a, const Endpoint& b);
    std::size_t hash() const;
};

// Puts the JSON of `encodable` into the request as its body, and "application/json" as
// its content type unless it has one; an encoder failure throws encodableMapping.
void encoded(platform::URLRequest& request, const AnyEncodable& encodable,
             const platform::JSONEncoder& encoder = platform::JSONEncoder());

// Key traits for maps keyed by endpoint.
struct EndpointHash {
    std::size_t operator()(const EndpointPtr& e) const { return e->hash(); }
};
struct EndpointEqual {
    bool operator()(const EndpointPtr& a, const EndpointPtr& b) const { return *a == *b; }
};

}  // namespace Berth
