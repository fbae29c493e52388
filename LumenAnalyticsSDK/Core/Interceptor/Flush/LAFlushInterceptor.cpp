// Sending an upload batch and reading the collector's verdict.
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAFlushInterceptor.h"

#include <atomic>
#include <cstdio>

#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"
#include "LumenAnalyticsSDK/Core/Network/LAHTTPSession.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventRecord.h"
#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAURLUtils.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"
#include "platform/dispatch/DispatchSemaphore.h"

namespace LumenAnalyticsSDK {

namespace {

std::int64_t debugModeOf(const LAFlowData& input) { return input.configOptions ? input.configOptions->debugMode() : 0; }

bool isWaitingMode(const LAFlowData& input) {
    const auto& options = input.configOptions;
    return options && (options->flushBeforeEnterBackground() || options->debugMode() != 0);
}

// Statuses after which the batch is kept for the next flush; every other answer
// (outside debug mode) counts as delivered. A redirect is kept: uploads do not follow
// one, so no collector took the batch; 408 and 429 ask for the request again.
bool isRetryableStatus(long status) {
    return status == 403 || status == 404 || status == 408 || status == 429 || (status >= 300 && status <= 399) ||
           (status >= 500 && status <= 599);
}

// One request of a waiting-mode pass: whoever finishes it first (the response, or the
// waiter giving up) claims it, so the flow data is written and completed once.
struct Exchange {
    std::atomic<bool> claimed{false};
    platform::DispatchSemaphore responded{0};
};

}  // namespace

std::shared_ptr<LAFlushInterceptor> LAFlushInterceptor::interceptorWithParam(const platform::Value::Dictionary& param) {
    auto interceptor = std::make_shared<LAFlushInterceptor>();
    const auto url = param.find(serverURLKey);
    if (url != param.end() && url->second.isString()) interceptor->serverURL = *url->second.asString();
    return interceptor;
}

std::string LAFlushInterceptor::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string text = "<";
    text.append(className()).append(": ").append(address).append(">");
    return text;
}

std::optional<platform::URLRequest> LAFlushInterceptor::buildFlushRequestWithInput(const LAFlowData& input) const {
    const std::int64_t debugMode = debugModeOf(input);
    const std::string urlText = serverURL ? *serverURL : input.configOptions ? input.configOptions->serverURL() : "";
    auto url = LAURLUtils::buildServerURLWithURLString(urlText, input.isAdsEvent() ? 0 : debugMode);
    if (!url) return std::nullopt;
    platform::URLRequest request(std::move(url));
    request.setHTTPMethod("POST");
    request.setTimeoutInterval(requestTimeoutInterval);
    request.setHTTPBody(input.HTTPBody());
    request.setValue(userAgent, "User-Agent");
    // Debug mode 1 asks the collector to check the batch without importing it.
    if (debugMode == 1) request.setValue("true", "Dry-Run");
    // Without a cookie of the host's the session's own cookies go out, so a cookie the
    // collector set comes back.
    if (const auto cookie = input.cookie(); cookie && !cookie->empty()) request.setValue(*cookie, "Cookie");
    return request;
}

std::optional<platform::Value::Array> LAFlushInterceptor::eventLogsWithInput(const LAFlowData& input) {
    const auto records = input.records().value_or(std::vector<LAEventRecordPtr>{});
    if (records.empty()) return std::nullopt;
    if (input.gzipCode() == gzipCodeTransportEncrypt) return eventTransportEncryptLogsWithInput(input);
    platform::Value::Array events;
    for (const auto& record : records) {
        if (record->encrypted() && !record->event().contains("payloads")) continue;
        events.emplace_back(record->event());
    }
    return events;
}

std::optional<platform::Value::Array> LAFlushInterceptor::eventTransportEncryptLogsWithInput(const LAFlowData& input) {
    const std::string json = input.json().value_or("");
    if (json.size() < 2 || json.front() != '[' || json.back() != ']') return std::nullopt;
    auto envelope = LAJSONUtil::JSONObjectWithString(json.substr(1, json.size() - 2));
    if (!envelope) return std::nullopt;
    return platform::Value::Array{std::move(*envelope)};
}

void LAFlushInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    auto request = buildFlushRequestWithInput(*input);
    // Nothing to send (no URL, or a batch that could not be compressed): the batch
    // fails like a send and waits for the next flush.
    if (!request || !request->httpBody()) {
        input->message =
            description() + (request ? " flush failure: the batch has no body" : " flush failure: no server URL");
        input->setFlushSuccess(false);
        return completion(input);
    }
    requestWithInput(input, std::move(*request), isWaitingMode(*input), std::move(completion));
}

namespace {

// Writes the response's verdict into the flow data.
void applyResponse(LAFlowData& input, const std::string& node, const std::optional<platform::Data>& data,
                   const platform::HTTPURLResponsePtr& response, const platform::ErrorPtr& error,
                   const std::function<std::string()>& eventLogs) {
    if (error || !response) {
        input.message = node + " network failure: " + (error ? error->localizedDescription() : "Unknown error");
        input.setFlushSuccess(false);
        return;
    }
    const std::int64_t debugMode = debugModeOf(input);
    const long status = response->statusCode();
    const std::string body = data ? data->toString() : "";
    const bool accepted = status >= 200 && status <= 299;
    if (!accepted && status >= 300 && debugMode != 0)
        LAModuleManager::sharedInstance()->showDebugModeWarning(node + " flush failure with response '" + body + "'.");
    LALogDebug(node + " " + (accepted ? "\n【valid message】\n" : "\n【invalid message】\n") + ": " + eventLogs());
    if (status != 200) LALogError(node + " ret_code: " + std::to_string(status) + ", ret_content: " + body);
    input.setStatusCode(status);
    const bool success = debugMode != 0 || !isRetryableStatus(status);
    if (!success) input.message = "flush failed, statusCode: " + std::to_string(status);
    input.setFlushSuccess(success);
}

}  // namespace

void LAFlushInterceptor::requestWithInput(const LAFlowDataPtr& input, platform::URLRequest request, bool waitingMode,
                                          Completion completion) {
    auto exchange = std::make_shared<Exchange>();
    const std::string node = description();
    // The handler may run after this node's run gave up on it; it uses nothing of the node.
    auto eventLogs = [input] {
        return lumen_toString(platform::Value(eventLogsWithInput(*input).value_or(platform::Value::Array{})));
    };
    auto task =
        (httpSession ? httpSession : LAHTTPSession::sharedInstance())
            ->dataTaskWithRequest(request, [input, exchange, node, waitingMode, completion, eventLogs](
                                               std::optional<platform::Data> data,
                                               platform::HTTPURLResponsePtr response, platform::ErrorPtr error) {
                if (exchange->claimed.exchange(true)) return;  // the waiting queue gave up on this request
                applyResponse(*input, node, data, response, error, eventLogs);
                if (waitingMode) exchange->responded.signal();
                else completion(input);
            });
    task->resume();
    if (!waitingMode) return;

    const double patience = request.timeoutInterval() + responseWaitMargin;
    if (exchange->responded.wait(platform::DispatchTime::now() + patience) ==
        platform::DispatchTimeoutResult::timedOut) {
        if (!exchange->claimed.exchange(true)) {
            task->cancel();
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", patience);
            input->message = node + " network failure: no response within " + seconds + " seconds";
            input->setFlushSuccess(false);
            return completion(input);
        }
        exchange->responded.wait();  // the response claimed it just now; its signal follows
    }
    completion(input);
}

}  // namespace LumenAnalyticsSDK
