// The server error model: envelope decoding and the code-to-case table.
#include "updater/Common/Network/APIError.h"

#include "platform/foundation/JSONDecoder.h"
#include "platform/foundation/JSONSerialization.h"

namespace Lanternfly_Updater {

BaseResponse BaseResponse::decode(platform::Decoder& decoder) {
    auto c = decoder.container();
    return BaseResponse{c->decode<std::int64_t>(platform::CodingKey("code")),
                        c->decode<std::string>(platform::CodingKey("msg"))};
}

void BaseResponse::encode(platform::Encoder& encoder) const {
    auto c = encoder.container();
    c->encode(code, platform::CodingKey("code"));
    c->encode(message, platform::CodingKey("msg"));
}

APIErrorDetail APIErrorDetail::decode(platform::Decoder& decoder) {
    auto c = decoder.container();
    return APIErrorDetail{c->decode<std::vector<std::string>>(platform::CodingKey("loc")),
                          c->decode<std::string>(platform::CodingKey("msg")),
                          c->decode<std::string>(platform::CodingKey("type"))};
}

void APIErrorDetail::encode(platform::Encoder& encoder) const {
    auto c = encoder.container();
    c->encode(loc, platform::CodingKey("loc"));
    c->encode(msg, platform::CodingKey("msg"));
    c->encode(type, platform::CodingKey("type"));
}

APIErrorData APIErrorData::decode(platform::Decoder& decoder) {
    auto c = decoder.container();
    return APIErrorData{c->decode<std::vector<APIErrorDetail>>(platform::CodingKey("detail"))};
}

void APIErrorData::encode(platform::Encoder& encoder) const {
    auto c = encoder.container();
    c->encode(detail, platform::CodingKey("detail"));
}

std::optional<APIError> APIError::init(std::int64_t code, std::string message, Berth::ResponsePtr data) {
    Case c;
    switch (code) {
        case 0: return std::nullopt;
        case 1001: c = Case::paraError; break;
        case 1002: c = Case::objectNotExit; break;
        case 1110: c = Case::incorrectVerificationCode; break;
        case 1130: c = Case::deviceCannotConnectSelf; break;
        case 1131: c = Case::passCodeError; break;
        case 1111: c = Case::smsSendingError; break;
        case 1112: c = Case::verificationCodeSend; break;
        case 1120: c = Case::tokenWrongOrExpired; break;
        case 1151: c = Case::appAreLatestVersion; break;
        case 2001: c = Case::deviceNotExist; break;
        case 2003: c = Case::deviceOffline; break;
        default: c = Case::unknown; break;
    }
    return APIError(c, code, std::move(message), std::move(data));
}

namespace {

// The carried response's body as a JSON object, or none.
std::optional<platform::Value::Dictionary> bodyObject(const Berth::ResponsePtr& response) {
    if (!response || response->data.count() == 0) return std::nullopt;
    auto parsed =
        platform::JSONSerialization::jsonObject(response->data, platform::JSONReadingOptions::fragmentsAllowed);
    if (!parsed.isSuccess() || !parsed.successValue()->isDictionary()) return std::nullopt;
    return *parsed.successValue()->asDictionary();
}

}  // namespace

std::optional<std::int64_t> APIError::responseCode() const {
    auto body = bodyObject(data_);
    if (!body) return std::nullopt;
    auto found = body->find("code");
    if (found == body->end() || !found->second.isInteger()) return std::nullopt;
    return found->second.asInt64();
}

std::optional<std::string> APIError::responseMessage() const {
    auto body = bodyObject(data_);
    if (!body) return std::nullopt;
    auto found = body->find("msg");
    if (found == body->end() || !found->second.isString()) return std::nullopt;
    return found->second.stringValue();
}

std::optional<APIErrorData> APIError::detailData() const {
    auto body = bodyObject(data_);
    if (!body) return std::nullopt;
    auto found = body->find("data");
    if (found == body->end()) return std::nullopt;
    try {
        return platform::JSONDecoder().decodeFromValue<APIErrorData>(found->second);
    } catch (const platform::ErrorException&) {
        return std::nullopt;
    }
}

Berth::ResponsePtr filterAPIError(const Berth::ResponsePtr& response) {
    auto envelope = response->map<BaseResponse>();  // throws the mapping error
    if (auto error = APIError::init(envelope.code, envelope.message, response))
        throw platform::ErrorException(std::make_shared<APIError>(*error));
    return response;
}

}  // namespace Lanternfly_Updater
