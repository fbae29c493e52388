// Timing and size figures of a task: one transaction per request sent (each redirect or
// authentication round adds one), and the task's whole interval.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Date.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

namespace platform {

struct DateInterval {
    Date start;
    double duration = 0;
    Date end() const { return start.addingTimeInterval(duration); }
};

struct URLSessionTaskTransactionMetrics {
    enum class ResourceFetchType { unknown = 0, networkLoad = 1, serverPush = 2, localCache = 3 };

    URLRequest request;
    URLResponsePtr response;
    std::optional<Date> fetchStartDate, domainLookupStartDate, domainLookupEndDate, connectStartDate,
        secureConnectionStartDate, secureConnectionEndDate, connectEndDate, requestStartDate, requestEndDate,
        responseStartDate, responseEndDate;
    std::optional<std::string> networkProtocolName;  // "http/1.1", "h2"
    bool isProxyConnection = false;
    bool isReusedConnection = false;
    ResourceFetchType resourceFetchType = ResourceFetchType::networkLoad;
    std::int64_t countOfRequestHeaderBytesSent = 0;
    std::int64_t countOfRequestBodyBytesSent = 0;
    std::int64_t countOfResponseHeaderBytesReceived = 0;
    std::int64_t countOfResponseBodyBytesReceived = 0;
    std::optional<std::string> remoteAddress, localAddress;
    std::optional<int> remotePort, localPort;
};

struct URLSessionTaskMetrics {
    std::vector<URLSessionTaskTransactionMetrics> transactionMetrics;
    DateInterval taskInterval;
    int redirectCount = 0;
};

}  // namespace platform
