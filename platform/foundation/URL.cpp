// Parsing URLs after RFC 3986 and the path operations on them.
#include "platform/foundation/URL.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "platform/base/NoDestructor.h"
#include "platform/foundation/CharacterSet.h"

namespace platform {

namespace {
bool isUnreserved(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) {
    return c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' || c == ',' ||
           c == ';' || c == '=';
}
bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Checks that [from, to) holds only characters for which `ok` is true or valid escapes.
template <class F>
bool validRun(std::string_view s, std::size_t from, std::size_t to, F ok) {
    for (std::size_t i = from; i < to; ++i) {
        if (s[i] == '%') {
            if (i + 2 >= to) return false;
            if (!isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
            i += 2;
        } else if (!ok(s[i])) {
            return false;
        }
    }
    return true;
}
bool isPChar(char c) { return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@'; }

bool validIPLiteral(std::string_view h) {
    // IPv6 (hex, ":" and "." for an embedded IPv4) or IPvFuture "v<hex>.<chars>".
    if (h.empty()) return false;
    if (h[0] == 'v' || h[0] == 'V') {
        return std::all_of(h.begin() + 1, h.end(), [](char c) { return isUnreserved(c) || isSubDelim(c) || c == ':'; });
    }
    if (h.find(':') == std::string_view::npos) return false;
    return std::all_of(h.begin(), h.end(), [](char c) { return isHex(c) || c == ':' || c == '.'; });
}

URL::Span span(std::size_t start, std::size_t end) { return URL::Span{start, end - start}; }

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view input) {
    std::string in(input), out;
    while (!in.empty()) {
        if (in.rfind("../", 0) == 0) in.erase(0, 3);
        else if (in.rfind("./", 0) == 0) in.erase(0, 2);
        else if (in.rfind("/./", 0) == 0) in.erase(0, 2);
        else if (in == "/.") in = "/";
        else if (in.rfind("/../", 0) == 0 || in == "/..") {
            in = in.size() == 3 ? "/" : in.substr(3);
            auto cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
        } else if (in == "." || in == "..") in.clear();
        else {
            std::size_t next = in.find('/', in[0] == '/' ? 1 : 0);
            out += in.substr(0, next);
            in.erase(0, next == std::string::npos ? in.size() : next);
        }
    }
    return out;
}

bool isDirectoryOnDisk(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const CharacterSet& pathSegmentAllowed() {
    static const NoDestructor<CharacterSet> set(CharacterSet::urlPathAllowed().removing("/"));
    return *set;
}
}  // namespace

bool parseURLLayout(std::string_view s, URL::Layout& L) {
    L = URL::Layout{};
    if (s.empty()) return false;
    std::size_t i = 0;
    // Scheme: a letter, then letters, digits, "+", "-", "." up to ":".
    if (std::isalpha(static_cast<unsigned char>(s[0]))) {
        std::size_t j = 1;
        while (j < s.size() &&
               (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '+' || s[j] == '-' || s[j] == '.'))
            ++j;
        if (j < s.size() && s[j] == ':') {
            L.scheme = span(0, j);
            i = j + 1;
        }
    }
    std::size_t end = s.size();
    std::size_t hash = s.find('#', i);
    if (hash != std::string_view::npos) {
        if (!validRun(s, hash + 1, end, [](char c) { return isPChar(c) || c == '/' || c == '?'; })) return false;
        L.fragment = span(hash + 1, end);
        end = hash;
    }
    std::size_t question = s.substr(0, end).find('?', i);
    if (question != std::string_view::npos) {
        if (!validRun(s, question + 1, end, [](char c) { return isPChar(c) || c == '/' || c == '?'; })) return false;
        L.query = span(question + 1, end);
        end = question;
    }
    if (s.substr(i, 2) == "//") {
        L.hasAuthority = true;
        std::size_t a = i + 2;
        std::size_t authEnd = s.substr(0, end).find('/', a);
        if (authEnd == std::string_view::npos) authEnd = end;
        std::size_t hostStart = a;
        std::size_t at = s.substr(0, authEnd).find('@', a);
        if (at != std::string_view::npos) {
            std::size_t colon = s.substr(0, at).find(':', a);
            auto userChar = [](char c) { return isUnreserved(c) || isSubDelim(c); };
            auto passChar = [](char c) { return isUnreserved(c) || isSubDelim(c) || c == ':'; };
            if (colon != std::string_view::npos) {
                if (!validRun(s, a, colon, userChar) || !validRun(s, colon + 1, at, passChar)) return false;
                L.user = span(a, colon);
                L.password = span(colon + 1, at);
            } else {
                if (!validRun(s, a, at, userChar)) return false;
                L.user = span(a, at);
            }
            hostStart = at + 1;
        }
        std::size_t hostEnd;
        if (hostStart < authEnd && s[hostStart] == '[') {
            std::size_t close = s.substr(0, authEnd).find(']', hostStart);
            if (close == std::string_view::npos || !validIPLiteral(s.substr(hostStart + 1, close - hostStart - 1)))
                return false;
            hostEnd = close + 1;
            if (hostEnd < authEnd && s[hostEnd] != ':') return false;
        } else {
            hostEnd = s.substr(0, authEnd).find(':', hostStart);
            if (hostEnd == std::string_view::npos) hostEnd = authEnd;
            if (!validRun(s, hostStart, hostEnd, [](char c) { return isUnreserved(c) || isSubDelim(c); })) return false;
        }
        L.host = span(hostStart, hostEnd);
        if (hostEnd < authEnd) {  // ":" port
            std::size_t p = hostEnd + 1;
            if (!std::all_of(s.begin() + p, s.begin() + authEnd, [](char c) { return c >= '0' && c <= '9'; }))
                return false;
            if (authEnd > p) {
                std::string digits(s.substr(p, authEnd - p));
                digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
                if (digits.size() > 5 || std::stol(digits) > 65535) return false;
                L.port = span(p, authEnd);
            }
        }
        i = authEnd;
    }
    if (!validRun(s, i, end, [](char c) { return isPChar(c) || c == '/'; })) return false;
    // Without a scheme, a colon in the first segment would read as one.
    if (!L.scheme.present() && !L.hasAuthority) {
        std::size_t firstSlash = s.substr(0, end).find('/', i);
        if (s.substr(i, (firstSlash == std::string_view::npos ? end : firstSlash) - i).find(':') !=
            std::string_view::npos)
            return false;
    }
    L.path = span(i, end);
    return true;
}

std::optional<URL> URL::fromText(std::string text) {
    URL url;
    if (!parseURLLayout(text, url.layout_)) return std::nullopt;
    url.text_ = std::move(text);
    return url;
}

std::optional<URL> URL::parse(std::string_view text) { return fromText(std::string(text)); }

std::optional<URL> URL::parse(std::string_view text, const URL& base) {
    // An empty reference means the base itself, without its fragment.
    if (text.empty()) {
        std::string whole = base.text_;
        if (base.layout_.fragment.present()) whole.erase(base.layout_.fragment.start - 1);
        return fromText(whole);
    }
    auto ref = parse(text);
    if (!ref) return std::nullopt;
    if (ref->layout_.scheme.present() || !base.layout_.scheme.present()) return ref;
    // RFC 3986 section 5.2.2, for a reference without a scheme.
    std::string out = *base.scheme() + ":";
    auto authorityOf = [](const URL& u) {
        const auto& L = u.layout_;
        std::size_t from = L.user.present() ? L.user.start : L.host.start;
        std::size_t to = L.port.present() ? L.port.start + L.port.length : L.host.start + L.host.length;
        return "//" + u.text_.substr(from, to - from);
    };
    std::string path;
    std::optional<std::string> query = ref->query();
    if (ref->layout_.hasAuthority) {
        out += authorityOf(*ref);
        path = removeDotSegments(ref->percentEncodedPath());
    } else {
        if (base.layout_.hasAuthority) out += authorityOf(base);
        std::string refPath = ref->percentEncodedPath();
        if (refPath.empty()) {
            path = base.percentEncodedPath();
            if (!query) query = base.query();
        } else if (refPath[0] == '/') {
            path = removeDotSegments(refPath);
        } else {
            std::string basePath = base.percentEncodedPath();
            if (base.layout_.hasAuthority && basePath.empty()) path = "/" + refPath;
            else path = basePath.substr(0, basePath.rfind('/') + 1) + refPath;
            path = removeDotSegments(path);
        }
    }
    out += path;
    if (query) {
        out += '?';
        out += *query;
    }
    if (auto f = ref->fragment()) {
        out += '#';
        out += *f;
    }
    return fromText(out);
}

URL URL::fileURL(std::string_view path, std::optional<bool> isDirectory) {
    std::string absolute(path);
    if (absolute.empty() || absolute[0] != '/') {
        std::string cwd = "/";
        if (char* here = ::getcwd(nullptr, 0)) {
            cwd = here;
            ::free(here);
        }
        if (cwd.back() != '/') cwd += '/';
        absolute = cwd + absolute;
    }
    bool dir = isDirectory ? *isDirectory : isDirectoryOnDisk(absolute);
    if (dir && absolute.back() != '/') absolute += '/';
    auto url = fromText("file://" + addingPercentEncoding(absolute, CharacterSet::urlPathAllowed()));
    return *url;  // an encoded absolute path always parses
}

std::optional<std::string> URL::part(const Span& s) const {
    if (!s.present()) return std::nullopt;
    return text_.substr(s.start, s.length);
}

std::optional<std::string> URL::scheme() const { return part(layout_.scheme); }

std::optional<std::string> URL::user() const {
    auto u = part(layout_.user);
    if (!u) return u;
    auto decoded = removingPercentEncoding(*u);
    return decoded ? decoded : u;
}

std::optional<std::string> URL::password() const {
    auto p = part(layout_.password);
    if (!p) return p;
    auto decoded = removingPercentEncoding(*p);
    return decoded ? decoded : p;
}

std::optional<std::string> URL::host() const {
    auto h = part(layout_.host);
    if (!h || h->empty()) return std::nullopt;  // "file:///x" has no host
    if (!h->empty() && (*h)[0] == '[') return h->substr(1, h->size() - 2);
    auto decoded = removingPercentEncoding(*h);
    return decoded ? decoded : h;
}

std::optional<int> URL::port() const {
    auto p = part(layout_.port);
    if (!p) return std::nullopt;
    return std::stoi(*p);
}

std::string URL::percentEncodedPath() const { return *part(layout_.path); }

std::string URL::path() const {
    std::string encoded = percentEncodedPath();
    auto decoded = removingPercentEncoding(encoded);
    std::string p = decoded ? *decoded : encoded;
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::optional<std::string> URL::query() const { return part(layout_.query); }
std::optional<std::string> URL::fragment() const { return part(layout_.fragment); }

bool URL::isFileURL() const {
    auto s = scheme();
    if (!s || s->size() != 4) return false;
    std::string lower = *s;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower == "file";
}

bool URL::hasDirectoryPath() const {
    std::string p = percentEncodedPath();
    return !p.empty() && p.back() == '/';
}

std::vector<std::string> URL::pathComponents() const {
    std::string encoded = percentEncodedPath();
    std::vector<std::string> out;
    if (!encoded.empty() && encoded[0] == '/') out.push_back("/");
    std::size_t i = 0;
    while (i < encoded.size()) {
        std::size_t next = encoded.find('/', i);
        if (next == std::string::npos) next = encoded.size();
        if (next > i) {
            std::string seg = encoded.substr(i, next - i);
            auto decoded = removingPercentEncoding(seg);
            out.push_back(decoded ? *decoded : seg);
        }
        i = next + 1;
    }
    return out;
}

std::string URL::lastPathComponent() const {
    auto parts = pathComponents();
    return parts.empty() ? std::string() : parts.back();
}

std::string URL::pathExtension() const {
    std::string name = lastPathComponent();
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() || name == "/") return "";
    return name.substr(dot + 1);
}

URL URL::withPath(const std::string& encodedPath) const {
    std::string out =
        text_.substr(0, layout_.path.start) + encodedPath + text_.substr(layout_.path.start + layout_.path.length);
    if (auto url = fromText(out)) return *url;
    return *this;
}

URL URL::appendingPathComponent(std::string_view component, std::optional<bool> isDirectory) const {
    std::string p = percentEncodedPath();
    // A host-only URL plus "/api" is "host/api": the component's own slash starts the path.
    bool componentStartsPath = p.empty() && !component.empty() && component.front() == '/';
    if (!componentStartsPath && (p.empty() ? layout_.hasAuthority : p.back() != '/')) p += '/';
    // A component may hold several segments; each is encoded on its own.
    std::string encoded;
    std::size_t i = 0;
    while (true) {
        std::size_t next = component.find('/', i);
        encoded += addingPercentEncoding(component.substr(i, next - i), pathSegmentAllowed());
        if (next == std::string_view::npos) break;
        encoded += '/';
        i = next + 1;
    }
    p += encoded;
    bool dir = false;
    if (isDirectory) dir = *isDirectory;
    else if (isFileURL()) {
        auto decoded = removingPercentEncoding(p);
        dir = decoded && isDirectoryOnDisk(*decoded);
    }
    if (dir && p.back() != '/') p += '/';
    return withPath(p);
}

URL URL::deletingLastPathComponent() const {
    std::string p = percentEncodedPath();
    if (p.empty() || p == "/") return *this;
    std::string trimmed = p.back() == '/' ? p.substr(0, p.size() - 1) : p;
    auto slash = trimmed.rfind('/');
    if (slash == std::string::npos) return withPath("./");
    return withPath(trimmed.substr(0, slash + 1));
}

URL URL::appendingPathExtension(std::string_view ext) const {
    std::string p = percentEncodedPath();
    if (p.empty() || p == "/" || ext.empty()) return *this;
    bool slash = p.back() == '/';
    if (slash) p.pop_back();
    p += '.';
    p += addingPercentEncoding(ext, pathSegmentAllowed());
    if (slash) p += '/';
    return withPath(p);
}

URL URL::deletingPathExtension() const {
    if (pathExtension().empty()) return *this;
    // Cut in the encoded text of the last segment, where an encoded dot is no dot.
    std::string p = percentEncodedPath();
    bool slash = p.back() == '/';
    if (slash) p.pop_back();
    std::size_t segment = p.rfind('/');
    segment = segment == std::string::npos ? 0 : segment + 1;
    std::size_t dot = p.rfind('.');
    if (dot == std::string::npos || dot <= segment || dot + 1 == p.size()) return *this;
    p.erase(dot);
    if (slash) p += '/';
    return withPath(p);
}

URL URL::standardized() const {
    std::string p = percentEncodedPath();
    if (p.empty()) return *this;
    return withPath(removeDotSegments(p));
}

}  // namespace platform
