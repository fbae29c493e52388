// The one error of the provider layer: which stage failed, with the response of the
// exchange where there was one, so a caller can still read its status and body.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/base/CaseType.h"
#include "platform/base/Error.h"

namespace Berth {

class Response;
using ResponsePtr = std::shared_ptr<const Response>;

struct BerthErrorCases {
    struct ImageMapping {
        ResponsePtr response;
    };
    struct JSONMapping {
        ResponsePtr response;
    };
    struct StringMapping {
        ResponsePtr response;
    };
    struct ObjectMapping {
        platform::ErrorPtr error;
        ResponsePtr response;
    };
    struct EncodableMapping {
        platform::ErrorPtr error;
    };
    struct StatusCode {
        ResponsePtr response;
    };
    struct Underlying {
        platform::ErrorPtr error;
        ResponsePtr response;
    };  // response may be null
    struct RequestMapping {
        std::string url;
    };
    struct ParameterEncoding {
        platform::ErrorPtr error;
    };
    // The order is the error's code: imageMapping 0 … parameterEncoding 8.
    using Case = std::variant<ImageMapping, JSONMapping, StringMapping, ObjectMapping, EncodableMapping, StatusCode,
                              Underlying, RequestMapping, ParameterEncoding>;
};

class BerthError : public platform::Error, public platform::CaseType<BerthErrorCases> {
public:
    using CaseType::CaseType;

    static BerthError imageMapping(ResponsePtr r) { return ImageMapping{std::move(r)}; }
    static BerthError jsonMapping(ResponsePtr r) { return JSONMapping{std::move(r)}; }
    static BerthError stringMapping(ResponsePtr r) { return StringMapping{std::move(r)}; }
    static BerthError objectMapping(platform::ErrorPtr e, ResponsePtr r) {
        return ObjectMapping{std::move(e), std::move(r)};
    }
    static BerthError encodableMapping(platform::ErrorPtr e) { return EncodableMapping{std::move(e)}; }
    static BerthError statusCode(ResponsePtr r) { return StatusCode{std::move(r)}; }
    static BerthError underlying(platform::ErrorPtr e, ResponsePtr r = nullptr) {
        return Underlying{std::move(e), std::move(r)};
    }
    static BerthError requestMapping(std::string url) { return RequestMapping{std::move(url)}; }
    static BerthError parameterEncoding(platform::ErrorPtr e) { return ParameterEncoding{std::move(e)}; }

    // The response the case carries, if any.
    ResponsePtr response() const;
    // The lower-layer error the case carries, if any (objectMapping, encodableMapping,
    // underlying, parameterEncoding).
    platform::ErrorPtr underlyingError() const override;

    // The fixed text per case; underlying shows the carried error's own text.
    std::string errorDescription() const;
    // "Berth.BerthError"
    std::string domain() const override { return "Berth.BerthError"; }
    std::int64_t code() const override { return static_cast<std::int64_t>(case_.index()); }
    // The description under NSLocalizedDescriptionKey; the underlying error is reached
    // through underlyingError() (user info holds values, not error objects).
    platform::Value::Dictionary userInfo() const override;
    std::string localizedDescription() const override { return errorDescription(); }
    // The case with its payload: "underlying(<error>, nil)", "requestMapping(\"x\")".
    std::string debugDescription() const override;
    std::string typeName() const override { return "BerthError"; }
    bool isCancelled() const override;

    platform::ErrorPtr shared() const { return std::make_shared<BerthError>(*this); }
    [[noreturn]] void raise() const;
};

// The error as a BerthError, or null.
std::shared_ptr<const BerthError> asBerthError(const platform::ErrorPtr& error);

}  // namespace Berth
