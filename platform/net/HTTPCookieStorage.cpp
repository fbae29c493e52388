// Set-Cookie parsing, cookie matching and the cookie store.
#include "platform/net/HTTPCookieStorage.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Trim.h"

#include <algorithm>
#include <cstdlib>
#include <curl/curl.h>

namespace platform {

namespace {

// Header syntax trims only spaces and tabs.
std::string_view trim(std::string_view s) { return trimmed(s, " \t"); }

bool domainMatches(const std::string& host, const std::string& domain, bool domainCookie) {
    auto h = lowercased(host), d = lowercased(domain);
    if (h == d) return true;
    if (!domainCookie) return false;
    return h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0 && h[h.size() - d.size() - 1] == '.';
}

bool pathMatches(const std::string& requestPath, const std::string& cookiePath) {
    if (requestPath == cookiePath) return true;
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::string defaultPath(const URL& url) {
    auto path = url.percentEncodedPath();
    if (path.empty() || path[0] != '/') return "/";
    auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool sameCookie(const HTTPCookie& a, const HTTPCookie& b) {
    return a.name == b.name && lowercased(a.domain) == lowercased(b.domain) && a.path == b.path;
}

}  // namespace

bool HTTPCookie::matches(const URL& url) const {
    auto host = url.host();
    if (!host || !domainMatches(*host, domain, isDomainCookie)) return false;
    if (isSecure && url.scheme() != "https") return false;
    auto path = url.percentEncodedPath();
    return pathMatches(path.empty() ? "/" : path, this->path);
}

std::optional<HTTPCookie> HTTPCookie::parseSetCookie(std::string_view line, const URL& url) {
    auto host = url.host();
    if (!host) return std::nullopt;
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= line.size()) {
        auto semi = line.find(';', pos);
        parts.push_back(line.substr(pos, semi == std::string_view::npos ? std::string_view::npos : semi - pos));
        if (semi == std::string_view::npos) break;
        pos = semi + 1;
    }
    auto pair = trim(parts[0]);
    auto eq = pair.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    HTTPCookie cookie;
    cookie.name = std::string(trim(pair.substr(0, eq)));
    cookie.value = std::string(trim(pair.substr(eq + 1)));
    if (cookie.name.empty() || isUnsafeHeaderValue(cookie.name) || isUnsafeHeaderValue(cookie.value))
        return std::nullopt;
    cookie.domain = lowercased(*host);
    cookie.path = defaultPath(url);
    std::optional<Date> maxAgeDate;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        auto attr = trim(parts[i]);
        auto aeq = attr.find('=');
        auto name = lowercased(trim(attr.substr(0, aeq)));
        std::string value(aeq == std::string_view::npos ? std::string_view() : trim(attr.substr(aeq + 1)));
        if (name == "domain" && !value.empty()) {
            if (value[0] == '.') value.erase(0, 1);
            if (!domainMatches(*host, value, true)) return std::nullopt;  // for another site
            cookie.domain = lowercased(value);
            cookie.isDomainCookie = true;
        } else if (name == "path" && !value.empty() && value[0] == '/') {
            cookie.path = value;
        } else if (name == "expires") {
            time_t t = curl_getdate(value.c_str(), nullptr);
            if (t != -1) cookie.expiresDate = Date::fromTimeIntervalSince1970(static_cast<double>(t));
        } else if (name == "max-age") {
            char* end = nullptr;
            long long seconds = std::strtoll(value.c_str(), &end, 10);
            if (end && *end == '\0' && !value.empty())
                maxAgeDate = Date::now().addingTimeInterval(static_cast<double>(std::max(seconds, -1LL)));
        } else if (name == "secure") {
            cookie.isSecure = true;
        } else if (name == "httponly") {
            cookie.isHTTPOnly = true;
        }
    }
    if (maxAgeDate) cookie.expiresDate = maxAgeDate;  // Max-Age wins over Expires
    return cookie;
}

std::vector<HTTPCookie> HTTPCookie::cookies(const HTTPHeaderFields& responseHeaderFields, const URL& url) {
    std::vector<HTTPCookie> out;
    for (auto& [name, value] : responseHeaderFields.fields()) {
        if (!equalsIgnoringCase(name, "Set-Cookie")) continue;
        if (auto cookie = parseSetCookie(value, url)) out.push_back(*cookie);
    }
    return out;
}

HTTPHeaderFields HTTPCookie::requestHeaderFields(const std::vector<HTTPCookie>& cookies) {
    HTTPHeaderFields fields;
    std::string text;
    for (auto& c : cookies) text += (text.empty() ? "" : "; ") + c.name + "=" + c.value;
    if (!text.empty()) fields.set("Cookie", text);
    return fields;
}

const std::shared_ptr<HTTPCookieStorage>& HTTPCookieStorage::shared() {
    static const NoDestructor<std::shared_ptr<HTTPCookieStorage>> storage(std::make_shared<HTTPCookieStorage>());
    return *storage;
}

namespace {
void dropExpired(std::vector<std::pair<HTTPCookie, Date>>& cookies) {
    auto now = Date::now();
    std::erase_if(cookies,
                  [&](const auto& entry) { return entry.first.expiresDate && *entry.first.expiresDate <= now; });
}
}  // namespace

std::vector<HTTPCookie> HTTPCookieStorage::cookies() const {
    return state_.write([](State& state) {
        dropExpired(state.cookies);
        std::vector<HTTPCookie> out;
        for (auto& [cookie, created] : state.cookies) out.push_back(cookie);
        return out;
    });
}

std::vector<HTTPCookie> HTTPCookieStorage::cookies(const URL& url) const {
    auto matching = state_.write([&](State& state) {
        dropExpired(state.cookies);
        std::vector<std::pair<HTTPCookie, Date>> found;
        for (auto& entry : state.cookies)
            if (entry.first.matches(url)) found.push_back(entry);
        return found;
    });
    std::stable_sort(matching.begin(), matching.end(), [](const auto& a, const auto& b) {
        if (a.first.path.size() != b.first.path.size()) return a.first.path.size() > b.first.path.size();
        return a.second < b.second;
    });
    std::vector<HTTPCookie> out;
    for (auto& [cookie, created] : matching) out.push_back(cookie);
    return out;
}

void HTTPCookieStorage::setCookie(const HTTPCookie& cookie) {
    state_.write([&](State& state) {
        if (state.policy == HTTPCookieAcceptPolicy::never) return;
        auto& cookies = state.cookies;
        auto it =
            std::find_if(cookies.begin(), cookies.end(), [&](const auto& e) { return sameCookie(e.first, cookie); });
        Date created = it != cookies.end() ? it->second : Date::now();
        if (it != cookies.end()) cookies.erase(it);
        if (cookie.expiresDate && *cookie.expiresDate <= Date::now()) return;
        cookies.emplace_back(cookie, created);
    });
}

void HTTPCookieStorage::setCookies(const std::vector<HTTPCookie>& cookies, const URL& url,
                                   const std::optional<URL>& mainDocumentURL) {
    auto policy = cookieAcceptPolicy();
    if (policy == HTTPCookieAcceptPolicy::never) return;
    for (auto& cookie : cookies) {
        if (policy == HTTPCookieAcceptPolicy::onlyFromMainDocumentDomain) {
            auto mainHost = (mainDocumentURL ? *mainDocumentURL : url).host();
            if (!mainHost || !domainMatches(*mainHost, cookie.domain, true)) continue;
        }
        setCookie(cookie);
    }
}

void HTTPCookieStorage::deleteCookie(const HTTPCookie& cookie) {
    state_.write([&](State& state) {
        std::erase_if(state.cookies, [&](const auto& e) { return sameCookie(e.first, cookie); });
    });
}

void HTTPCookieStorage::removeCookies(Date since) {
    state_.write([&](State& state) { std::erase_if(state.cookies, [&](const auto& e) { return e.second >= since; }); });
}

HTTPCookieAcceptPolicy HTTPCookieStorage::cookieAcceptPolicy() const { return state_.get(&State::policy); }

void HTTPCookieStorage::setCookieAcceptPolicy(HTTPCookieAcceptPolicy policy) { state_.set(&State::policy, policy); }

}  // namespace platform
