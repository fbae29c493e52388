// What a URL session is built with: time-outs, extra header fields, connection limits,
// and the cookie, credential and response stores it uses. Copied into the session.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/Value.h"
#include "platform/net/HTTPCookieStorage.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLCredential.h"
#include "platform/net/URLRequest.h"

namespace platform {

struct URLSessionConfiguration {
    // Shared stores: the process's cookie, credential and response stores.
    static URLSessionConfiguration defaultSessionConfiguration();
    // Private stores that live only as long as the configuration's sessions.
    static URLSessionConfiguration ephemeralSessionConfiguration();

    std::optional<std::string> identifier;  // background sessions: not supported here
    // Sent with every request unless the request sets the same field. Only string keys
    // and values are sent.
    std::optional<Value::Dictionary> httpAdditionalHeaders;
    // The longest wait for the connection or between two bytes of the exchange.
    double timeoutIntervalForRequest = 60;
    // The longest the whole task may take.
    double timeoutIntervalForResource = 7 * 24 * 3600;
    int httpMaximumConnectionsPerHost = 6;
    bool httpShouldUsePipelining = false;
    bool httpShouldSetCookies = true;
    HTTPCookieAcceptPolicy httpCookieAcceptPolicy = HTTPCookieAcceptPolicy::onlyFromMainDocumentDomain;
    HTTPCookieStoragePtr httpCookieStorage;
    URLCredentialStoragePtr urlCredentialStorage;
    URLCachePtr urlCache;
    URLRequest::CachePolicy requestCachePolicy = URLRequest::CachePolicy::useProtocolCachePolicy;
    bool allowsCellularAccess = true;
    bool waitsForConnectivity = false;
};

}  // namespace platform
