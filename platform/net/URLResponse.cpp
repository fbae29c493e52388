// Response values, Content-Type parsing and safe suggested file names.
#include "platform/net/URLResponse.h"
#include "platform/base/Trim.h"

#include <cstdlib>

namespace platform {

namespace {

// Header syntax trims only spaces and tabs.
std::string_view trim(std::string_view s) { return trimmed(s, " \t"); }

std::string unquote(std::string_view s) {
    s = trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
        std::string out;
        for (std::size_t i = 1; i + 1 < s.size(); ++i) {
            if (s[i] == '\\' && i + 2 < s.size()) ++i;
            out += s[i];
        }
        return out;
    }
    return std::string(s);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() + 0 && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The file name of a Content-Disposition value: filename* (RFC 5987) wins over filename.
std::optional<std::string> dispositionFilename(std::string_view value) {
    std::optional<std::string> plain, extended;
    std::size_t pos = 0;
    while (pos < value.size()) {
        std::size_t end = pos;
        bool quoted = false;
        while (end < value.size() && (quoted || value[end] != ';')) {
            if (value[end] == '"') quoted = !quoted;
            ++end;
        }
        auto param = trim(value.substr(pos, end - pos));
        auto eq = param.find('=');
        if (eq != std::string_view::npos) {
            auto name = lowercased(trim(param.substr(0, eq)));
            auto val = param.substr(eq + 1);
            if (name == "filename") plain = unquote(val);
            if (name == "filename*") {
                auto raw = unquote(val);
                auto q = raw.find('\'');
                auto q2 = q == std::string::npos ? q : raw.find('\'', q + 1);
                if (q2 != std::string::npos) extended = percentDecode(raw.substr(q2 + 1));
            }
        }
        pos = end + 1;
    }
    return extended ? extended : plain;
}

}  // namespace

void parseContentType(std::string_view value, std::optional<std::string>* mimeType,
                      std::optional<std::string>* charset) {
    auto semi = value.find(';');
    auto type = trim(value.substr(0, semi));
    if (!type.empty()) *mimeType = lowercased(type);
    while (semi != std::string_view::npos) {
        auto next = value.find(';', semi + 1);
        auto param = trim(value.substr(semi + 1, next == std::string_view::npos ? next : next - semi - 1));
        auto eq = param.find('=');
        if (eq != std::string_view::npos && lowercased(trim(param.substr(0, eq))) == "charset")
            *charset = lowercased(unquote(param.substr(eq + 1)));
        semi = next;
    }
}

std::optional<std::string> safeFilename(std::string_view name) {
    auto slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    name = trim(name);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
    return std::string(name);
}

std::string URLResponse::suggestedFilename() const {
    if (url_) {
        if (auto name = safeFilename(url_->lastPathComponent())) return *name;
    }
    return "Unknown";
}

HTTPURLResponse::HTTPURLResponse(URL url, int statusCode, std::string httpVersion, HTTPHeaderFields headerFields)
    : URLResponse(std::move(url), std::nullopt, NSURLResponseUnknownLength, std::nullopt), statusCode_(statusCode),
      httpVersion_(std::move(httpVersion)), headers_(std::move(headerFields)) {
    if (auto type = headers_.value("Content-Type")) parseContentType(*type, &mimeType_, &textEncodingName_);
    if (auto length = headers_.value("Content-Length")) {
        char* end = nullptr;
        long long n = std::strtoll(length->c_str(), &end, 10);
        if (end && *end == '\0' && !length->empty() && n >= 0) expectedContentLength_ = n;
    }
}

std::string HTTPURLResponse::suggestedFilename() const {
    if (auto disposition = headers_.value("Content-Disposition")) {
        if (auto raw = dispositionFilename(*disposition))
            if (auto name = safeFilename(*raw)) return *name;
    }
    return URLResponse::suggestedFilename();
}

std::string HTTPURLResponse::localizedString(int statusCode) {
    switch (statusCode) {
        case 100: return "continue";
        case 101: return "switching protocols";
        case 200: return "no error";
        case 201: return "created";
        case 202: return "accepted";
        case 203: return "non-authoritative information";
        case 204: return "no content";
        case 205: return "reset content";
        case 206: return "partial content";
        case 300: return "multiple choices";
        case 301: return "moved permanently";
        case 302: return "found";
        case 303: return "see other";
        case 304: return "unmodified";
        case 305: return "needs proxy";
        case 307: return "redirected";
        case 308: return "permanent redirect";
        case 400: return "bad request";
        case 401: return "unauthorized";
        case 402: return "payment required";
        case 403: return "forbidden";
        case 404: return "not found";
        case 405: return "method not allowed";
        case 406: return "unacceptable";
        case 407: return "proxy authentication required";
        case 408: return "request timed out";
        case 409: return "conflict";
        case 410: return "no longer exists";
        case 411: return "length required";
        case 412: return "precondition failed";
        case 413: return "request too large";
        case 414: return "requested URL too long";
        case 415: return "unsupported media type";
        case 416: return "requested range not satisfiable";
        case 417: return "expectation failed";
        case 429: return "too many requests";
        case 500: return "internal server error";
        case 501: return "unimplemented";
        case 502: return "bad gateway";
        case 503: return "service unavailable";
        case 504: return "gateway timed out";
        case 505: return "unsupported version";
    }
    if (statusCode >= 100 && statusCode < 200) return "informational";
    if (statusCode >= 200 && statusCode < 300) return "success";
    if (statusCode >= 300 && statusCode < 400) return "redirected";
    if (statusCode >= 400 && statusCode < 500) return "client error";
    if (statusCode >= 500 && statusCode < 600) return "server error";
    return "server error";
}

}  // namespace platform
