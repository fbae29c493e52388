// A URL taken apart into components that can be read and changed one by one,
// decoded or percent-encoded, and put back together.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/URL.h"

namespace platform {

struct URLQueryItem {
    std::string name;
    std::optional<std::string> value;  // none: "name" without "="
    friend bool operator==(const URLQueryItem&, const URLQueryItem&) = default;
};

class URLComponents {
public:
    URLComponents() = default;
    // None when the text is not a URL.
    static std::optional<URLComponents> fromString(std::string_view text);
    static URLComponents fromURL(const URL& url);

    // Decoded accessors; setting encodes what the component cannot hold as it stands.
    std::optional<std::string> scheme() const { return scheme_; }
    void setScheme(std::optional<std::string> s) { scheme_ = std::move(s); }
    std::optional<std::string> user() const;
    void setUser(const std::optional<std::string>& s);
    std::optional<std::string> password() const;
    void setPassword(const std::optional<std::string>& s);
    std::optional<std::string> host() const;
    void setHost(const std::optional<std::string>& s);
    std::optional<int> port() const { return port_; }
    void setPort(std::optional<int> p) { port_ = p; }
    std::string path() const;
    void setPath(std::string_view s);
    std::optional<std::string> query() const;
    void setQuery(const std::optional<std::string>& s);
    std::optional<std::string> fragment() const;
    void setFragment(const std::optional<std::string>& s);

    // Percent-encoded accessors; the setters take the text as it stands.
    std::optional<std::string> percentEncodedUser() const { return user_; }
    void setPercentEncodedUser(std::optional<std::string> s) { user_ = std::move(s); }
    std::optional<std::string> percentEncodedPassword() const { return password_; }
    void setPercentEncodedPassword(std::optional<std::string> s) { password_ = std::move(s); }
    std::optional<std::string> percentEncodedHost() const { return host_; }
    void setPercentEncodedHost(std::optional<std::string> s) { host_ = std::move(s); }
    const std::string& percentEncodedPath() const { return path_; }
    void setPercentEncodedPath(std::string s) { path_ = std::move(s); }
    std::optional<std::string> percentEncodedQuery() const { return query_; }
    void setPercentEncodedQuery(std::optional<std::string> s) { query_ = std::move(s); }
    std::optional<std::string> percentEncodedFragment() const { return fragment_; }
    void setPercentEncodedFragment(std::optional<std::string> s) { fragment_ = std::move(s); }

    // The query split at "&" and "=", decoded; none when there is no query. Setting
    // encodes names and values, including "&", "=" and "#" but not "+"; an empty
    // list gives an empty query ("?"), none removes it.
    std::optional<std::vector<URLQueryItem>> queryItems() const;
    void setQueryItems(const std::optional<std::vector<URLQueryItem>>& items);
    // As queryItems, without decoding or encoding.
    std::optional<std::vector<URLQueryItem>> percentEncodedQueryItems() const;
    void setPercentEncodedQueryItems(const std::optional<std::vector<URLQueryItem>>& items);

    // The text of the components; none when they do not form a URL (a path not
    // starting with "/" after a host, or a first segment with ":" without a scheme).
    std::optional<std::string> string() const;
    std::optional<URL> url() const;
    // "{scheme = https, user = (null), …, fragment = (null)}": every component as stored.
    std::string description() const;

private:
    std::optional<std::string> scheme_, user_, password_, host_;
    std::optional<int> port_;
    std::string path_;
    std::optional<std::string> query_, fragment_;
};

}  // namespace platform
