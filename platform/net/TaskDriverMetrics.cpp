// One transaction's timings and sizes, from libcurl's figures for the attempt.
#include "platform/net/TaskDriver.h"

#include <curl/curl.h>

#include "platform/net/TaskDriverSupport.h"
#include "platform/net/URLError.h"

namespace platform {

using namespace driver;

namespace {

std::optional<Date> offsetDate(Date start, curl_off_t micros) {
    if (micros <= 0) return std::nullopt;
    return start.addingTimeInterval(static_cast<double>(micros) / 1e6);
}

}  // namespace

void TaskDriver::recordTransaction() {
    URLSessionTaskTransactionMetrics m;
    m.request = request_;
    m.response = response_;
    curl_off_t t = 0;
    m.fetchStartDate = attemptStart_;
    m.domainLookupStartDate = attemptStart_;
    if (curl_easy_getinfo(easy_, CURLINFO_NAMELOOKUP_TIME_T, &t) == CURLE_OK)
        m.domainLookupEndDate = offsetDate(attemptStart_, t);
    curl_off_t connect = 0, appConnect = 0, pre = 0, first = 0, total = 0;
    curl_easy_getinfo(easy_, CURLINFO_CONNECT_TIME_T, &connect);
    curl_easy_getinfo(easy_, CURLINFO_APPCONNECT_TIME_T, &appConnect);
    curl_easy_getinfo(easy_, CURLINFO_PRETRANSFER_TIME_T, &pre);
    curl_easy_getinfo(easy_, CURLINFO_STARTTRANSFER_TIME_T, &first);
    curl_easy_getinfo(easy_, CURLINFO_TOTAL_TIME_T, &total);
    long connects = 0;
    curl_easy_getinfo(easy_, CURLINFO_NUM_CONNECTS, &connects);
    m.isReusedConnection = connects == 0 && response_ != nullptr;
    if (!m.isReusedConnection) {
        m.connectStartDate = m.domainLookupEndDate;
        m.connectEndDate = offsetDate(attemptStart_, appConnect > 0 ? appConnect : connect);
        if (appConnect > 0) {
            m.secureConnectionStartDate = offsetDate(attemptStart_, connect);
            m.secureConnectionEndDate = offsetDate(attemptStart_, appConnect);
        }
    }
    m.requestStartDate = offsetDate(attemptStart_, pre);
    m.requestEndDate = m.requestStartDate;
    m.responseStartDate = offsetDate(attemptStart_, first);
    m.responseEndDate = offsetDate(attemptStart_, total);
    long version = 0;
    curl_easy_getinfo(easy_, CURLINFO_HTTP_VERSION, &version);
    if (version == CURL_HTTP_VERSION_2_0) m.networkProtocolName = "h2";
    else if (version == CURL_HTTP_VERSION_1_1) m.networkProtocolName = "http/1.1";
    else if (version == CURL_HTTP_VERSION_1_0) m.networkProtocolName = "http/1.0";
    long headerSize = 0, requestSize = 0;
    curl_easy_getinfo(easy_, CURLINFO_HEADER_SIZE, &headerSize);
    curl_easy_getinfo(easy_, CURLINFO_REQUEST_SIZE, &requestSize);
    m.countOfResponseHeaderBytesReceived = headerSize;
    m.countOfRequestHeaderBytesSent = requestSize;
    m.countOfRequestBodyBytesSent = bodySent_;
    curl_off_t received = 0;
    curl_easy_getinfo(easy_, CURLINFO_SIZE_DOWNLOAD_T, &received);
    m.countOfResponseBodyBytesReceived = received;
    char* ip = nullptr;
    long port = 0;
    if (curl_easy_getinfo(easy_, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip && *ip) m.remoteAddress = ip;
    if (curl_easy_getinfo(easy_, CURLINFO_PRIMARY_PORT, &port) == CURLE_OK && port)
        m.remotePort = static_cast<int>(port);
    if (curl_easy_getinfo(easy_, CURLINFO_LOCAL_IP, &ip) == CURLE_OK && ip && *ip) m.localAddress = ip;
    if (curl_easy_getinfo(easy_, CURLINFO_LOCAL_PORT, &port) == CURLE_OK && port) m.localPort = static_cast<int>(port);
    transactions_.push_back(std::move(m));
}

}  // namespace platform
