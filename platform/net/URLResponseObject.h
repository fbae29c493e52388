// A URL response as an object of the runtime (class "NSURLResponse"), for places where
// a response travels through object-typed values (promise values, user info).
#pragma once
#include "platform/net/URLResponse.h"
#include "platform/runtime/Class.h"

namespace platform {

class URLResponseObject : public Object {
    PLATFORM_OBJECT_NAMED(URLResponseObject, Object, "NSURLResponse")

public:
    explicit URLResponseObject(URLResponsePtr response) : response_(std::move(response)) {}
    const URLResponsePtr& response() const { return response_; }
    // The HTTP response, or null for a response of another kind.
    HTTPURLResponsePtr httpResponse() const { return std::dynamic_pointer_cast<const HTTPURLResponse>(response_); }

private:
    URLResponsePtr response_;
};

// Null for no response.
inline Value responseObjectValue(URLResponsePtr response) {
    return response ? Value(ObjectPtr(std::make_shared<URLResponseObject>(std::move(response)))) : Value();
}

}  // namespace platform
