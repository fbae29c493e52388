#include "platform/base/Error.h"

#include <cstring>
#include <typeinfo>

namespace platform {

std::string Error::localizedDescription() const {
    auto info = userInfo();
    if (auto it = info.find(NSLocalizedDescriptionKey); it != info.end() && it->second.isString())
        return *it->second.asString();
    return "The operation couldn’t be completed. (" + domain() + " error " + std::to_string(code()) + ".)";
}

std::string Error::debugDescription() const {
    return typeName() + "(" + domain() + " " + std::to_string(code()) + "): " + localizedDescription();
}

bool NSError::isCancelled() const {
    return (domain_ == NSURLErrorDomain && code_ == NSURLErrorCancelled) ||
           (domain_ == NSCocoaErrorDomain && code_ == NSUserCancelledError);
}

ErrorPtr posixError(int errnoValue, const std::string& what) {
    std::string description =
        what.empty() ? std::string(std::strerror(errnoValue)) : what + ": " + std::strerror(errnoValue);
    return NSError::withDescription(NSPOSIXErrorDomain, errnoValue, std::move(description));
}

ErrorException::ErrorException(ErrorPtr error) : error_(std::move(error)) {
    message_ = error_ ? error_->localizedDescription() : "unknown error";
}

ErrorPtr errorFromCurrentException() {
    try {
        throw;
    } catch (const ErrorException& e) {
        return e.error();
    } catch (const std::exception& e) {
        return NSError::withDescription("platform.exception", 1, e.what());
    } catch (...) {
        return NSError::withDescription("platform.exception", 2, "unknown exception");
    }
}

}  // namespace platform
