// Texts of the library's errors and the cancellation rule.
#include "Pledge/Error.h"

namespace Pledge {

namespace {
struct CaseText {
    std::string operator()(const PLGError::FlatMap& c) const {
        return "Could not `flatMap<" + c.typeName + ">`: " + c.valueText;
    }
    std::string operator()(const PLGError::CompactMap& c) const {
        return "Could not `compactMap<" + c.typeName + ">`: " + c.valueText;
    }
    std::string operator()(PLGError::InvalidCallingConvention) const {
        return "A closure was called with an invalid calling convention, probably (nil, nil)";
    }
    std::string operator()(PLGError::ReturnedSelf) const { return "A promise handler returned itself"; }
    std::string operator()(PLGError::BadInput) const { return "Bad input was provided to a Pledge function"; }
    std::string operator()(PLGError::Cancelled) const { return "The asynchronous sequence was cancelled"; }
    std::string operator()(PLGError::EmptySequence) const {
        return "The first or last element was requested for an empty sequence";
    }
    std::string operator()(PLGError::NoWinner) const {
        return "All thenables passed to race(fulfilled:) were rejected";
    }
};
}  // namespace

std::string PLGError::debugDescription() const { return std::visit(CaseText{}, case_); }

bool isCancelled(const platform::ErrorPtr& error) {
    if (!error) return false;
    if (auto own = dynamic_cast<const PLGError*>(error.get())) return own->isCancelled();
    if (auto cancellable = dynamic_cast<const CancellableError*>(error.get())) return cancellable->isCancelled();
    const std::string domain = error->domain();
    const std::int64_t code = error->code();
    if (domain == platform::NSURLErrorDomain && code == platform::NSURLErrorCancelled) return true;
    if (domain == platform::NSCocoaErrorDomain && code == platform::NSUserCancelledError) return true;
    return domain == "SKErrorDomain" && code == 2;
}

std::string errorText(const platform::ErrorPtr& error) { return error ? error->debugDescription() : "nil"; }

}  // namespace Pledge
