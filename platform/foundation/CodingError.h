// Coding keys, coding paths and the two error types of the coding layer.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Error.h"

namespace platform {

// A key of a keyed container, or the index of an element (which carries `intValue`).
struct CodingKey {
    std::string stringValue;
    std::optional<std::int64_t> intValue;

    CodingKey(const char* s) : stringValue(s) {}
    CodingKey(std::string s) : stringValue(std::move(s)) {}
    CodingKey(std::string_view s) : stringValue(s) {}
    CodingKey(std::string s, std::optional<std::int64_t> i) : stringValue(std::move(s)), intValue(i) {}
    // The key of element `i`: "Index i" in messages, i as its integer.
    static CodingKey index(std::int64_t i) { return CodingKey(std::to_string(i), i); }

    // CodingKeys(stringValue: "name", intValue: nil) or Index 3, as messages print keys.
    std::string description() const;
    friend bool operator==(const CodingKey&, const CodingKey&) = default;
};
using CodingPath = std::vector<CodingKey>;

// "a.b.Index 0": the path as messages print it.
std::string codingPathText(const CodingPath& path);

struct CodingErrorContext {
    CodingPath codingPath;
    std::string debugDescription;
    ErrorPtr underlyingError;
};

// A value that cannot be encoded (NSCocoaErrorDomain 4866).
class EncodingError : public Error {
public:
    // `valueText` is the offending value's text form (the value itself is type-erased).
    EncodingError(std::string valueText, CodingErrorContext context)
        : valueText_(std::move(valueText)), context_(std::move(context)) {}
    static ErrorPtr invalidValue(std::string valueText, CodingErrorContext context) {
        return std::make_shared<EncodingError>(std::move(valueText), std::move(context));
    }

    const std::string& valueText() const { return valueText_; }
    const CodingErrorContext& context() const { return context_; }

    std::string domain() const override { return NSCocoaErrorDomain; }
    std::int64_t code() const override { return 4866; }
    Value::Dictionary userInfo() const override;
    ErrorPtr underlyingError() const override { return context_.underlyingError; }
    std::string localizedDescription() const override;
    std::string debugDescription() const override;
    std::string typeName() const override { return "EncodingError"; }

private:
    std::string valueText_;
    CodingErrorContext context_;
};

// Data that cannot be decoded: typeMismatch and dataCorrupted (NSCocoaErrorDomain
// 4864), valueNotFound and keyNotFound (4865).
class DecodingError : public Error {
public:
    enum class Case { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

    DecodingError(Case c, std::string type, std::optional<CodingKey> key, CodingErrorContext context)
        : case_(c), type_(std::move(type)), key_(std::move(key)), context_(std::move(context)) {}
    static ErrorPtr typeMismatch(std::string type, CodingErrorContext context);
    static ErrorPtr valueNotFound(std::string type, CodingErrorContext context);
    static ErrorPtr keyNotFound(CodingKey key, CodingErrorContext context);
    static ErrorPtr dataCorrupted(CodingErrorContext context);

    Case kind() const { return case_; }
    const std::string& type() const { return type_; }             // typeMismatch, valueNotFound
    const std::optional<CodingKey>& key() const { return key_; }  // keyNotFound
    const CodingErrorContext& context() const { return context_; }

    std::string domain() const override { return NSCocoaErrorDomain; }
    std::int64_t code() const override;
    Value::Dictionary userInfo() const override;
    ErrorPtr underlyingError() const override { return context_.underlyingError; }
    std::string localizedDescription() const override;
    std::string debugDescription() const override;
    std::string typeName() const override { return "DecodingError"; }

private:
    Case case_;
    std::string type_;
    std::optional<CodingKey> key_;
    CodingErrorContext context_;
};

// Throws the error as ErrorException.
[[noreturn]] void throwCodingError(ErrorPtr error);

}  // namespace platform
