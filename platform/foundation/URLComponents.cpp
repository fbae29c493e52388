// URL components: taking a URL apart, changing a component, putting it back.
#include "platform/foundation/URLComponents.h"

#include "platform/base/NoDestructor.h"
#include "platform/foundation/CharacterSet.h"

namespace platform {

namespace {
std::optional<std::string> decoded(const std::optional<std::string>& s) {
    if (!s) return s;
    auto d = removingPercentEncoding(*s);
    return d ? d : s;
}
std::optional<std::string> encoded(const std::optional<std::string>& s, const CharacterSet& allowed) {
    if (!s) return s;
    return addingPercentEncoding(*s, allowed);
}
const CharacterSet& queryItemAllowed() {
    static const NoDestructor<CharacterSet> set(CharacterSet::urlQueryAllowed().removing("&="));
    return *set;
}
}  // namespace

std::optional<URLComponents> URLComponents::fromString(std::string_view text) {
    auto url = URL::parse(text);
    if (!url) return std::nullopt;
    return fromURL(*url);
}

URLComponents URLComponents::fromURL(const URL& url) {
    URL::Layout L;
    const std::string& s = url.absoluteString();
    parseURLLayout(s, L);
    auto part = [&s](const URL::Span& sp) -> std::optional<std::string> {
        if (!sp.present()) return std::nullopt;
        return s.substr(sp.start, sp.length);
    };
    URLComponents c;
    c.scheme_ = part(L.scheme);
    c.user_ = part(L.user);
    c.password_ = part(L.password);
    c.host_ = part(L.host);
    if (L.hasAuthority && !c.host_) c.host_ = "";
    c.port_ = url.port();
    c.path_ = *part(L.path);
    c.query_ = part(L.query);
    c.fragment_ = part(L.fragment);
    return c;
}

std::optional<std::string> URLComponents::user() const { return decoded(user_); }
void URLComponents::setUser(const std::optional<std::string>& s) { user_ = encoded(s, CharacterSet::urlUserAllowed()); }
std::optional<std::string> URLComponents::password() const { return decoded(password_); }
void URLComponents::setPassword(const std::optional<std::string>& s) {
    password_ = encoded(s, CharacterSet::urlPasswordAllowed());
}
std::optional<std::string> URLComponents::host() const {
    if (host_ && host_->size() >= 2 && (*host_)[0] == '[') return host_->substr(1, host_->size() - 2);
    return decoded(host_);
}
void URLComponents::setHost(const std::optional<std::string>& s) {
    if (s && s->find(':') != std::string::npos && s->front() != '[') host_ = "[" + *s + "]";
    else host_ = encoded(s, CharacterSet::urlHostAllowed());
}
std::string URLComponents::path() const { return *decoded(path_); }
void URLComponents::setPath(std::string_view s) { path_ = addingPercentEncoding(s, CharacterSet::urlPathAllowed()); }
std::optional<std::string> URLComponents::query() const { return decoded(query_); }
void URLComponents::setQuery(const std::optional<std::string>& s) {
    query_ = encoded(s, CharacterSet::urlQueryAllowed());
}
std::optional<std::string> URLComponents::fragment() const { return decoded(fragment_); }
void URLComponents::setFragment(const std::optional<std::string>& s) {
    fragment_ = encoded(s, CharacterSet::urlFragmentAllowed());
}

std::optional<std::vector<URLQueryItem>> URLComponents::percentEncodedQueryItems() const {
    if (!query_) return std::nullopt;
    std::vector<URLQueryItem> items;
    if (query_->empty()) return items;
    std::size_t i = 0;
    while (true) {
        std::size_t amp = query_->find('&', i);
        std::string pair = query_->substr(i, amp == std::string::npos ? std::string::npos : amp - i);
        auto eq = pair.find('=');
        if (eq == std::string::npos) items.push_back({pair, std::nullopt});
        else items.push_back({pair.substr(0, eq), pair.substr(eq + 1)});
        if (amp == std::string::npos) break;
        i = amp + 1;
    }
    return items;
}

std::optional<std::vector<URLQueryItem>> URLComponents::queryItems() const {
    auto items = percentEncodedQueryItems();
    if (!items) return items;
    for (auto& item : *items) {
        item.name = *decoded(item.name);
        item.value = decoded(item.value);
    }
    return items;
}

void URLComponents::setPercentEncodedQueryItems(const std::optional<std::vector<URLQueryItem>>& items) {
    if (!items) {
        query_.reset();
        return;
    }
    std::string q;
    for (std::size_t k = 0; k < items->size(); ++k) {
        if (k) q += '&';
        q += (*items)[k].name;
        if ((*items)[k].value) {
            q += '=';
            q += *(*items)[k].value;
        }
    }
    query_ = q;
}

void URLComponents::setQueryItems(const std::optional<std::vector<URLQueryItem>>& items) {
    if (!items) {
        query_.reset();
        return;
    }
    std::vector<URLQueryItem> enc;
    for (const auto& item : *items)
        enc.push_back({addingPercentEncoding(item.name, queryItemAllowed()), encoded(item.value, queryItemAllowed())});
    setPercentEncodedQueryItems(enc);
}

std::optional<std::string> URLComponents::string() const {
    std::string out;
    if (scheme_) out += *scheme_ + ":";
    bool authority = host_ || user_ || password_ || port_;
    if (authority) {
        out += "//";
        if (user_ || password_) {
            out += user_.value_or("");
            if (password_) {
                out += ':';
                out += *password_;
            }
            out += "@";
        }
        out += host_.value_or("");
        if (port_) {
            out += ':';
            out += std::to_string(*port_);
        }
        if (!path_.empty() && path_[0] != '/') return std::nullopt;
    } else if (path_.rfind("//", 0) == 0) {
        return std::nullopt;
    }
    if (!scheme_ && !authority) {
        auto slash = path_.find('/');
        if (path_.substr(0, slash).find(':') != std::string::npos) return std::nullopt;
    }
    out += path_;
    if (query_) {
        out += '?';
        out += *query_;
    }
    if (fragment_) {
        out += '#';
        out += *fragment_;
    }
    return out;
}

std::optional<URL> URLComponents::url() const {
    auto s = string();
    if (!s) return std::nullopt;
    if (s->empty()) return std::nullopt;
    return URL::parse(*s);
}

std::string URLComponents::description() const {
    auto show = [](const std::optional<std::string>& s) { return s ? *s : std::string("(null)"); };
    return "{scheme = " + show(scheme_) + ", user = " + show(user_) + ", password = " + show(password_) +
           ", host = " + show(host_) + ", port = " + (port_ ? std::to_string(*port_) : std::string("(null)")) +
           ", path = " + path_ + ", query = " + show(query_) + ", fragment = " + show(fragment_) + "}";
}

}  // namespace platform
