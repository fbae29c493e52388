// The error wrapper and the bridging functions that ValueBridge declares.
#include "platform/runtime/ErrorObject.h"

namespace platform {

PLATFORM_REGISTER_CLASS(ErrorObject);

std::string ErrorObject::description() const { return error_ ? error_->debugDescription() : "nil"; }

Value errorObjectValue(ErrorPtr error) {
    if (!error) return Value();
    return Value(ObjectPtr(std::make_shared<ErrorObject>(std::move(error))));
}

ErrorPtr errorFromValue(const Value& value) {
    auto object = value.asObject<ErrorObject>();
    return object ? object->error() : nullptr;
}

}  // namespace platform
