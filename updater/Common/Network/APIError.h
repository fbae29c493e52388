// The server's answer envelope (code and message), the detail records of a validation
// failure, and `APIError`, the error a non-zero result code becomes; the accessors read
// code, message and details back from the response an error carries.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Berth/Response.h"
#include "platform/base/Error.h"
#include "platform/foundation/Coding.h"

namespace Lanternfly_Updater {

struct BaseResponse {
    std::int64_t code = 0;
    std::string message;  // "msg"
    static BaseResponse decode(platform::Decoder& decoder);
    void encode(platform::Encoder& encoder) const;
};

struct APIErrorDetail {
    std::vector<std::string> loc;
    std::string msg;
    std::string type;
    static APIErrorDetail decode(platform::Decoder& decoder);
    void encode(platform::Encoder& encoder) const;
};

struct APIErrorData {
    std::vector<APIErrorDetail> detail;
    static APIErrorData decode(platform::Decoder& decoder);
    void encode(platform::Encoder& encoder) const;
};

class APIError : public platform::Error {
public:
    // In declaration order; the number selecting each is in `init`.
    enum class Case {
        unknown,
        paraError,
        objectNotExit,
        incorrectVerificationCode,
        deviceCannotConnectSelf,
        passCodeError,
        smsSendingError,
        verificationCodeSend,
        tokenWrongOrExpired,
        appAreLatestVersion,
        deviceNotExist,
        deviceOffline
    };

    // None for code 0 (success); any other code gives its case (`unknown` when unlisted),
    // keeping the payload as given.
    static std::optional<APIError> init(std::int64_t code, std::string message, Berth::ResponsePtr data);

    Case errorCase() const { return case_; }
    std::int64_t payloadCode() const { return code_; }
    const std::string& message() const { return message_; }
    const Berth::ResponsePtr& data() const { return data_; }

    // Read from the carried response's body, never from the payload; none on any failure.
    std::optional<std::int64_t> responseCode() const;
    std::optional<std::string> responseMessage() const;
    std::optional<APIErrorData> detailData() const;

    // The payload's message.
    std::string errorDescription() const { return message_; }
    std::string domain() const override { return "Lanternfly_Updater.APIError"; }
    std::int64_t code() const override { return static_cast<std::int64_t>(case_); }
    std::string localizedDescription() const override { return message_; }
    std::string typeName() const override { return "APIError"; }

private:
    APIError(Case c, std::int64_t code, std::string message, Berth::ResponsePtr data)
        : case_(c), code_(code), message_(std::move(message)), data_(std::move(data)) {}
    Case case_;
    std::int64_t code_;
    std::string message_;
    Berth::ResponsePtr data_;
};

// The response itself when its envelope says success. A body that is not a valid
// envelope throws the network layer's mapping error (BerthError); a non-zero code throws
// the APIError; both as platform::ErrorException.
Berth::ResponsePtr filterAPIError(const Berth::ResponsePtr& response);

}  // namespace Lanternfly_Updater
