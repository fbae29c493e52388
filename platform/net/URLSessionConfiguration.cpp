// The two stock configurations.
#include "platform/net/URLSessionConfiguration.h"

namespace platform {

URLSessionConfiguration URLSessionConfiguration::defaultSessionConfiguration() {
    URLSessionConfiguration c;
    c.httpCookieStorage = HTTPCookieStorage::shared();
    c.urlCredentialStorage = URLCredentialStorage::shared();
    c.urlCache = URLCache::shared();
    return c;
}

URLSessionConfiguration URLSessionConfiguration::ephemeralSessionConfiguration() {
    URLSessionConfiguration c;
    c.httpCookieStorage = HTTPCookieStorage::create();
    c.urlCredentialStorage = URLCredentialStorage::create();
    c.urlCache = std::make_shared<URLCache>();
    return c;
}

}  // namespace platform
