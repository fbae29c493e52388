// Runtime exceptions: what the object runtime raises for a message nobody answers, an
// unknown key, or a block called against its signature. Raised as C++ exceptions.
#pragma once
#include <exception>
#include <string>

#include "platform/base/Value.h"

namespace platform {

inline constexpr const char* NSInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* NSUnknownKeyException = "NSUnknownKeyException";
inline constexpr const char* NSInternalInconsistencyException = "NSInternalInconsistencyException";

class NSException : public std::exception {
public:
    NSException(std::string name, std::string reason, Value::Dictionary userInfo = {})
        : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo)),
          message_(name_ + ": " + reason_) {}

    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const Value::Dictionary& userInfo() const { return userInfo_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string name_;
    std::string reason_;
    Value::Dictionary userInfo_;
    std::string message_;
};

}  // namespace platform
