// Errors as objects of the runtime: where an error travels through object-typed values
// (a runtime-facing promise's value, a block's result, user info) it is wrapped in an
// `ErrorObject`, of runtime class "NSError".
#pragma once
#include "platform/base/Error.h"
#include "platform/runtime/Class.h"

namespace platform {

class ErrorObject : public Object {
    PLATFORM_OBJECT_NAMED(ErrorObject, Object, "NSError")

public:
    explicit ErrorObject(ErrorPtr error) : error_(std::move(error)) {}
    const ErrorPtr& error() const { return error_; }
    // The wrapped error's debugging description.
    std::string description() const override;

private:
    ErrorPtr error_;
};

}  // namespace platform
