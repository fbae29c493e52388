// The upload body: gzip, Base64, checksum and percent-encoding.
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAFlushHTTPBodyInterceptor.h"

#include "LumenAnalyticsSDK/Core/Utils/LAGzipUtility.h"
#include "LumenAnalyticsSDK/Core/Utils/NSString+LAHashCode.h"
#include "platform/base/NoDestructor.h"
#include "platform/foundation/CharacterSet.h"

namespace LumenAnalyticsSDK {

namespace {

constexpr std::int64_t gzipCompressed = 1;

}  // namespace

std::string LAFlushHTTPBodyInterceptor::percentEncoded(const std::string& text) {
    static const platform::NoDestructor<platform::CharacterSet> letterAndDigits(
        platform::CharacterSet::fromCharacters("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"));
    return platform::addingPercentEncoding(text, *letterAndDigits);
}

std::optional<platform::Value::Dictionary>
LAFlushHTTPBodyInterceptor::buildBodyWithFlowData(const LAFlowData& input) const {
    const auto json = input.json();
    if (!json) return std::nullopt;
    const auto compressed = LAGzipUtility::gzipData(platform::Data::fromString(*json));
    if (!compressed) return std::nullopt;
    return platform::Value::Dictionary{{"gzip", platform::Value(gzipCompressed)},
                                       {"data_list", platform::Value(compressed->base64EncodedString())}};
}

std::optional<platform::Data> LAFlushHTTPBodyInterceptor::buildBodyWithInput(const LAFlowData& input) const {
    const auto fields = buildBodyWithFlowData(input);
    if (!fields) return std::nullopt;
    const std::string dataList = fields->at("data_list").stringValue();
    // The checksum covers the Base64 text as it is before percent-encoding.
    std::string body = "crc=" + std::to_string(lumen_hashCode(dataList)) +
                       "&gzip=" + std::to_string(fields->at("gzip").asInt64().value_or(gzipCompressed)) +
                       "&data_list=" + percentEncoded(dataList);
    if (input.isInstantEvent()) body += "&instant_event=true";
    if (input.isAdsEvent()) body += "&sink_name=mirror";
    return platform::Data::fromString(body);
}

void LAFlushHTTPBodyInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    input->setHTTPBody(buildBodyWithInput(*input));
    completion(input);
}

}  // namespace LumenAnalyticsSDK
