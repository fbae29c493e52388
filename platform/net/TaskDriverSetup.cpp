// The libcurl options of one attempt: method and body, header fields with the session's
// extras and cookies, time-outs, resumption ranges, credentials and TLS.
#include "platform/net/TaskDriver.h"

#include <cmath>
#include <curl/curl.h>
#include <sys/stat.h>

#include "platform/net/TaskDriverSupport.h"
#include "platform/net/URLError.h"

namespace platform {

using namespace driver;

bool TaskDriver::configure(const URLRequest& request) {
    easy_ = curl_easy_init();
    if (!easy_) return false;
    const auto& config = session_->configuration();
    const URL& url = *request.url();
    curl_easy_setopt(easy_, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy_, CURLOPT_URL, url.absoluteString().c_str());
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, 512L * 1024L);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &TaskDriver::headerCallback);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &TaskDriver::writeCallback);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &TaskDriver::prereqCallback);
    curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
    if (freshConnection_) curl_easy_setopt(easy_, CURLOPT_FRESH_CONNECT, 1L);

    // Time-outs: the request's own, unless it kept the default and the session set one.
    double timeout = request.timeoutInterval();
    if (timeout == URLRequest::defaultTimeoutInterval) timeout = config.timeoutIntervalForRequest;
    if (timeout > 0) {
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout * 1000));
        curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, std::max(1L, std::lround(timeout)));
    }
    if (config.timeoutIntervalForResource > 0) {
        double left = config.timeoutIntervalForResource - Date::now().timeIntervalSince(taskStart_);
        curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, std::max(1L, static_cast<long>(left * 1000)));
    }

    // Method and body.
    std::string method = request.httpMethod();
    if (method == "HEAD") {
        curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    } else if (body_ || method == "POST") {
        curl_easy_setopt(easy_, CURLOPT_POST, 1L);
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_ ? bodyLength_ : 0));
        if (body_) {
            body_->open();
            curl_easy_setopt(easy_, CURLOPT_READFUNCTION, &TaskDriver::readCallback);
            curl_easy_setopt(easy_, CURLOPT_READDATA, this);
        }
        if (method != "POST") curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    // Header fields: the request's, then the session's extra ones it does not set.
    HTTPHeaderFields fields = request.headerFields();
    if (config.httpAdditionalHeaders)
        for (auto& [name, value] : *config.httpAdditionalHeaders)
            if (value.asString() && !fields.contains(name) && !isUnsafeHeaderName(name) &&
                !isUnsafeHeaderValue(*value.asString()))
                fields.set(name, *value.asString());
    if (config.httpShouldSetCookies && request.httpShouldHandleCookies() && config.httpCookieStorage &&
        !fields.contains("Cookie")) {
        auto cookies = HTTPCookie::requestHeaderFields(config.httpCookieStorage->cookies(url));
        if (auto cookie = cookies.value("Cookie")) fields.set("Cookie", *cookie);
    }
    if (auto encoding = fields.value("Accept-Encoding")) {
        // libcurl sends the field itself and decodes what it names.
        curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, encoding->c_str());
        fields.remove("Accept-Encoding");
    } else if (!resumeFrom_ || redirects_ > 0) {
        curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "");
    }
    if (resumeFrom_ && redirects_ == 0 && authFailures_ == 0) {
        resumeOffset_ = 0;
        struct stat st {};
        auto validator = resumeFrom_->validator();
        if (validator && ::stat(resumeFrom_->temporaryPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_size >= resumeFrom_->offset && resumeFrom_->offset > 0) {
            resumeOffset_ = resumeFrom_->offset;
            downloadFile_.continueFile(resumeFrom_->temporaryPath);
            fields.set("Range", "bytes=" + std::to_string(resumeOffset_) + "-");
            fields.set("If-Range", *validator);
        }
    }
    for (auto& [name, value] : fields.fields()) {
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        headerList_ = curl_slist_append(headerList_, line.c_str());
    }
    headerList_ = curl_slist_append(headerList_, "Expect:");
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);

    if (credential_) {
        curl_easy_setopt(easy_, CURLOPT_HTTPAUTH,
                         credentialMethod_ == NSURLAuthenticationMethodHTTPDigest ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
        curl_easy_setopt(easy_, CURLOPT_USERNAME, credential_->first.c_str());
        curl_easy_setopt(easy_, CURLOPT_PASSWORD, credential_->second.c_str());
    }

    if (url.scheme() == "https") {
        // The chain is judged by our own trust evaluation (with the delegate's say), in
        // the handshake, before any byte of the request is sent.
        curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(easy_, CURLOPT_SSL_SESSIONID_CACHE, 0L);
        curl_easy_setopt(easy_, CURLOPT_SSL_CTX_FUNCTION, &TaskDriver::sslContextCallback);
        curl_easy_setopt(easy_, CURLOPT_SSL_CTX_DATA, this);
    }
    return true;
}

}  // namespace platform
