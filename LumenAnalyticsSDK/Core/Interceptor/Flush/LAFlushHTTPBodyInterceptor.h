// Builds an upload pass's request body, a form of three fields:
// "crc=<checksum>&gzip=1&data_list=<Base64 of the gzipped JSON, percent-encoded>",
// then "&instant_event=true" for instant batches and "&sink_name=mirror" for ads batches.
#pragma once
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"
#include "platform/base/Data.h"

namespace LumenAnalyticsSDK {

class LAFlushHTTPBodyInterceptor : public LAInterceptor {
public:
    // Stores the body as `HTTPBody`, or nothing when the batch cannot be compressed
    // (the flush node then fails the pass and the batch waits for the next flush).
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;

    // "gzip" = 1 and "data_list" = the Base64 text (no line breaks) of the gzipped JSON;
    // none when there is no JSON or compression fails.
    std::optional<platform::Value::Dictionary> buildBodyWithFlowData(const LAFlowData& input) const;
    // The body's bytes (UTF-8 text).
    std::optional<platform::Data> buildBodyWithInput(const LAFlowData& input) const;

    // Every character but ASCII letters and digits as %XX, so "+", "/" and "=" travel as
    // %2B, %2F and %3D.
    static std::string percentEncoded(const std::string& text);
};

}  // namespace LumenAnalyticsSDK
