// The error of a response whose HTTP status is outside 200..<300, with the body kept
// for diagnosis and small helpers to read it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/Data.h"
#include "platform/base/Error.h"
#include "platform/foundation/JSONDecoder.h"
#include "platform/net/URLResponse.h"

namespace Pledge {

class PLGHTTPError final : public platform::Error {
public:
    struct BadStatusCode {
        std::int64_t statusCode;
        platform::Data body;
        platform::HTTPURLResponsePtr response;
    };
    explicit PLGHTTPError(BadStatusCode c) : case_(std::move(c)) {}
    static platform::ErrorPtr badStatusCode(std::int64_t statusCode, platform::Data body,
                                            platform::HTTPURLResponsePtr response) {
        return std::make_shared<PLGHTTPError>(BadStatusCode{statusCode, std::move(body), std::move(response)});
    }
    const BadStatusCode& which() const { return case_; }

    // "Unauthorized (<url>)" for 401, else "Invalid HTTP response (<status>) for <url>.".
    std::string errorDescription() const;
    // The body as UTF-8 text; none when it is not valid UTF-8.
    std::optional<std::string> failureReason() const { return bodyText(); }
    // "<NSHTTPResponse> " and a dictionary of status code, body, URL and headers.
    std::string description() const;

    std::optional<std::string> bodyText() const;
    // The body parsed as JSON; none when it is not JSON.
    std::optional<platform::Value> jsonBody() const;
    template <class T>
    std::optional<T> decodedBody(const platform::JSONDecoder& decoder = platform::JSONDecoder()) const {
        try {
            return decoder.decode<T>(case_.body);
        } catch (const platform::ErrorException&) {
            return std::nullopt;
        }
    }

    std::string domain() const override { return "Pledge.PLGHTTPError"; }
    std::int64_t code() const override { return 0; }
    platform::Value::Dictionary userInfo() const override;
    std::string localizedDescription() const override { return errorDescription(); }
    std::string debugDescription() const override { return description(); }
    std::string typeName() const override { return "PLGHTTPError"; }

private:
    std::string urlText() const;
    BadStatusCode case_;
};

}  // namespace Pledge
