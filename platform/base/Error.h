// The one error vocabulary. Every library's error type derives from `Error`;
// errors travel as `ErrorPtr`; an operation that throws raises `ErrorException`.
#pragma once
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "platform/base/Value.h"

namespace platform {

// User-info keys the platform's errors use.
inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* NSLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr const char* NSUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* NSFilePathErrorKey = "NSFilePath";
inline constexpr const char* NSURLErrorKey = "NSURL";
inline constexpr const char* NSDebugDescriptionErrorKey = "NSDebugDescription";

class Error;
using ErrorPtr = std::shared_ptr<const Error>;

class Error {
public:
    virtual ~Error() = default;

    virtual std::string domain() const = 0;
    virtual std::int64_t code() const = 0;
    virtual Value::Dictionary userInfo() const { return {}; }
    // The error this one wraps, when it wraps one.
    virtual ErrorPtr underlyingError() const { return nullptr; }
    // Defaults to the user info's description, else the platform's generic sentence.
    virtual std::string localizedDescription() const;
    // Defaults to "<typeName>(<domain> <code>): <localizedDescription>".
    virtual std::string debugDescription() const;
    // The type's name as messages print it ("HWError", "NSError" …).
    virtual std::string typeName() const = 0;
    // True for errors that mean "the caller cancelled".
    virtual bool isCancelled() const { return false; }
};

// A plain domain/code/user-info error, as the platform's generic error type.
class NSError : public Error {
public:
    NSError(std::string domain, std::int64_t code, Value::Dictionary userInfo = {}, ErrorPtr underlying = nullptr)
        : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)), underlying_(std::move(underlying)) {}

    static ErrorPtr make(std::string domain, std::int64_t code, Value::Dictionary userInfo = {},
                         ErrorPtr underlying = nullptr) {
        return std::make_shared<NSError>(std::move(domain), code, std::move(userInfo), std::move(underlying));
    }
    // An error with just a description in the given domain.
    static ErrorPtr withDescription(std::string domain, std::int64_t code, std::string description) {
        return make(std::move(domain), code, {{NSLocalizedDescriptionKey, Value(std::move(description))}});
    }

    std::string domain() const override { return domain_; }
    std::int64_t code() const override { return code_; }
    Value::Dictionary userInfo() const override { return userInfo_; }
    ErrorPtr underlyingError() const override { return underlying_; }
    std::string typeName() const override { return "NSError"; }
    bool isCancelled() const override;

private:
    std::string domain_;
    std::int64_t code_;
    Value::Dictionary userInfo_;
    ErrorPtr underlying_;
};

// Domains of errors that several layers recognise.
inline constexpr const char* NSURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* NSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* NSPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr std::int64_t NSURLErrorCancelled = -999;
inline constexpr std::int64_t NSUserCancelledError = 3072;

// An error made from errno, in the POSIX domain, with what was being done.
ErrorPtr posixError(int errnoValue, const std::string& what);

class ErrorException : public std::exception {
public:
    explicit ErrorException(ErrorPtr error);
    const ErrorPtr& error() const { return error_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    ErrorPtr error_;
    std::string message_;
};

// Runs `body`; an ErrorException becomes its error, any other exception a generic error.
// Used where work crosses a queue so nothing escapes it.
ErrorPtr errorFromCurrentException();

}  // namespace platform
