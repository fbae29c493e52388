// Cookies and the in-memory cookie store a session configuration points at.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Date.h"
#include "platform/base/Protected.h"
#include "platform/foundation/URL.h"
#include "platform/net/HTTPHeaderFields.h"

namespace platform {

class HTTPCookie {
public:
    std::string name, value, domain, path = "/";
    std::optional<Date> expiresDate;  // none: a session cookie
    bool isSecure = false;
    bool isHTTPOnly = false;
    // The domain was set by the cookie (so subdomains match), not taken from the URL.
    bool isDomainCookie = false;

    bool isSessionOnly() const { return !expiresDate.has_value(); }
    bool matches(const URL& url) const;

    // The cookies of every Set-Cookie field of a response from `url`; invalid ones and
    // ones for another domain are left out.
    static std::vector<HTTPCookie> cookies(const HTTPHeaderFields& responseHeaderFields, const URL& url);
    static std::optional<HTTPCookie> parseSetCookie(std::string_view line, const URL& url);
    // {"Cookie": "a=1; b=2"}, or nothing for no cookies.
    static HTTPHeaderFields requestHeaderFields(const std::vector<HTTPCookie>& cookies);
};

enum class HTTPCookieAcceptPolicy { always = 0, never = 1, onlyFromMainDocumentDomain = 2 };

// Thread-safe. Expired cookies are dropped when read.
class HTTPCookieStorage {
public:
    static const std::shared_ptr<HTTPCookieStorage>& shared();
    static std::shared_ptr<HTTPCookieStorage> create() { return std::make_shared<HTTPCookieStorage>(); }

    std::vector<HTTPCookie> cookies() const;
    // The cookies to send to `url`, longest path first.
    std::vector<HTTPCookie> cookies(const URL& url) const;
    // Replaces a cookie with the same name, domain and path; an expired one deletes it.
    void setCookie(const HTTPCookie& cookie);
    void setCookies(const std::vector<HTTPCookie>& cookies, const URL& url, const std::optional<URL>& mainDocumentURL);
    void deleteCookie(const HTTPCookie& cookie);
    void removeCookies(Date since);

    HTTPCookieAcceptPolicy cookieAcceptPolicy() const;
    void setCookieAcceptPolicy(HTTPCookieAcceptPolicy policy);

private:
    struct State {
        std::vector<std::pair<HTTPCookie, Date>> cookies;  // with creation time
        HTTPCookieAcceptPolicy policy = HTTPCookieAcceptPolicy::always;
    };
    mutable Protected<State> state_;  // reads drop expired cookies
};
using HTTPCookieStoragePtr = std::shared_ptr<HTTPCookieStorage>;

}  // namespace platform
