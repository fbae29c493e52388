// The promise library's own errors, the catch policy, and the one rule that
// decides whether any error means "cancelled".
#pragma once
#include <cstdint>
#include <string>
#include <variant>

#include "Pledge/Describe.h"
#include "platform/base/Error.h"

namespace Pledge {

class PLGError final : public platform::Error {
public:
    // Cases in their fixed order; `index()` is the case number.
    struct FlatMap {
        std::string valueText, typeName;
    };
    struct CompactMap {
        std::string valueText, typeName;
    };
    struct InvalidCallingConvention {};
    struct ReturnedSelf {};
    struct BadInput {};
    struct Cancelled {};
    struct EmptySequence {};
    struct NoWinner {};
    using Case = std::variant<FlatMap, CompactMap, InvalidCallingConvention, ReturnedSelf, BadInput, Cancelled,
                              EmptySequence, NoWinner>;

    explicit PLGError(Case c) : case_(std::move(c)) {}

    template <class U, class V>
    static platform::ErrorPtr flatMap(const V& value) {
        return make(FlatMap{describe(value), TypeName<U>::name()});
    }
    template <class U, class V>
    static platform::ErrorPtr compactMap(const V& value) {
        return make(CompactMap{describe(value), TypeName<U>::name()});
    }
    static platform::ErrorPtr invalidCallingConvention() { return make(InvalidCallingConvention{}); }
    static platform::ErrorPtr returnedSelf() { return make(ReturnedSelf{}); }
    static platform::ErrorPtr badInput() { return make(BadInput{}); }
    static platform::ErrorPtr cancelled() { return make(Cancelled{}); }
    static platform::ErrorPtr emptySequence() { return make(EmptySequence{}); }
    static platform::ErrorPtr noWinner() { return make(NoWinner{}); }

    const Case& which() const { return case_; }
    std::size_t index() const { return case_.index(); }

    std::string domain() const override { return "Pledge.PLGError"; }
    std::int64_t code() const override { return static_cast<std::int64_t>(case_.index()); }
    std::string localizedDescription() const override { return debugDescription(); }
    std::string debugDescription() const override;
    std::string typeName() const override { return "PLGError"; }
    bool isCancelled() const override { return std::holds_alternative<Cancelled>(case_); }

private:
    static platform::ErrorPtr make(Case c) { return std::make_shared<PLGError>(std::move(c)); }
    Case case_;
};

enum class CatchPolicy { allErrors, allErrorsExceptCancellation };

// Mixed into an error type that knows by itself whether it stands for a cancellation.
class CancellableError {
public:
    virtual ~CancellableError() = default;
    virtual bool isCancelled() const = 0;
};

// True when the error means "cancelled": our own `cancelled`, an error that says so
// itself, URL cancellation, a user-cancelled Cocoa error, or a cancelled store payment.
bool isCancelled(const platform::ErrorPtr& error);

// The text an error prints as wherever the library shows one (descriptions, logs).
std::string errorText(const platform::ErrorPtr& error);

}  // namespace Pledge
