// A target: one call of a web API as plain data (where, how, what it carries, which
// status codes count as success). A runtime interface, so multi-targets can wrap any
// target and plugins receive any target.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Berth/Task.h"
#include "Hawser/HTTPMethod.h"
#include "platform/base/CaseType.h"
#include "platform/base/Data.h"
#include "platform/foundation/URL.h"

namespace Berth {

using HTTPMethod = Hawser::HTTPMethod;
using HeaderFields = std::map<std::string, std::string>;

// Which status codes count as success.
struct ValidationTypeCases {
    struct None {};
    struct SuccessCodes {};
    struct SuccessAndRedirectCodes {};
    struct CustomCodes {
        std::vector<int> codes;
    };
    using Case = std::variant<None, SuccessCodes, SuccessAndRedirectCodes, CustomCodes>;
};

class ValidationType : public platform::CaseType<ValidationTypeCases> {
public:
    using CaseType::CaseType;

    static ValidationType none() { return None{}; }
    static ValidationType successCodes() { return SuccessCodes{}; }
    static ValidationType successAndRedirectCodes() { return SuccessAndRedirectCodes{}; }
    static ValidationType customCodes(std::vector<int> codes) { return CustomCodes{std::move(codes)}; }

    // Empty (no validation), 200…299, 200…399, or the custom list as given.
    std::vector<int> statusCodes() const;
    friend bool operator==(const ValidationType& a, const ValidationType& b);
};

// Targets are held by shared pointers wherever the provider keeps them, so a plugin
// that answers later can keep the target it was given alive (weak_from_this()).
class TargetType : public std::enable_shared_from_this<TargetType> {
public:
    virtual ~TargetType() = default;
    virtual platform::URL baseURL() const = 0;
    // Appended to the base URL as one path component; may be empty.
    virtual std::string path() const = 0;
    virtual HTTPMethod method() const = 0;
    // The body of the sample response used when the call is stubbed.
    virtual platform::Data sampleData() const = 0;
    virtual Task task() const = 0;
    virtual ValidationType validationType() const { return ValidationType::none(); }
    virtual std::optional<HeaderFields> headers() const = 0;
    // How logs and messages show the target; by default its type's name.
    virtual std::string description() const;
};
using TargetPtr = std::shared_ptr<const TargetType>;

// The target's URL: its base URL when the path is empty, else the base URL with the
// path appended as one component.
platform::URL url(const TargetType& target);

// "POST", "PUT", "PATCH" and "CONNECT" carry multipart bodies.
bool supportsMultipart(const HTTPMethod& method);

}  // namespace Berth
