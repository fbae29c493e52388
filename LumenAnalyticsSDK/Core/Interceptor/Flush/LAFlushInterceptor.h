// The node of an upload pass that sends the body: a POST to the server URL (its debug
// form in debug mode) over the client's HTTP session, then the response's verdict in
// the flow data: `statusCode`, `flushSuccess`, and a `message` when the batch must wait.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"
#include "platform/base/Value.h"
#include "platform/net/URLRequest.h"

namespace LumenAnalyticsSDK {

class LAHTTPSession;

class LAFlushInterceptor : public LAInterceptor {
public:
    static constexpr const char* serverURLKey = "serverURL";
    static constexpr const char* userAgent = "LumenAnalytics iOS SDK";
    // The code of a JSON whose records travel encrypted as one envelope.
    static constexpr std::uint64_t gzipCodeTransportEncrypt = 13;

    // `serverURL` from the parameter "serverURL" (no built-in node gives one).
    static std::shared_ptr<LAFlushInterceptor> interceptorWithParam(const platform::Value::Dictionary& param);

    // Outside waiting mode the completion runs on the HTTP session's queue when the
    // response is in. In waiting mode (flush before entering the background, or debug
    // mode) the calling queue waits for the response, at most the request's time-out plus
    // `responseWaitMargin`, so two queues can never end up waiting on each other for good.
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;

    // None when there is no usable URL.
    std::optional<platform::URLRequest> buildFlushRequestWithInput(const LAFlowData& input) const;
    // What the Debug line shows of the batch: each record's event (encrypted ones only
    // with their payloads); none for an empty batch.
    static std::optional<platform::Value::Array> eventLogsWithInput(const LAFlowData& input);
    static std::optional<platform::Value::Array> eventTransportEncryptLogsWithInput(const LAFlowData& input);
    // "<LAFlushInterceptor: 0x…>", as log lines name the node.
    std::string description() const;

    // Overrides the options' server URL when set.
    std::optional<std::string> serverURL;
    double requestTimeoutInterval = 30;
    double responseWaitMargin = 5;
    // The session uploads go through; none means the process's shared one.
    std::shared_ptr<LAHTTPSession> httpSession;

private:
    void requestWithInput(const LAFlowDataPtr& input, platform::URLRequest request, bool waitingMode,
                          Completion completion);
};

}  // namespace LumenAnalyticsSDK
