// A URL as a value: web URLs and file URLs, parsed after RFC 3986. Equality and
// hashing go by the absolute text, as the platform compares URLs.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class URL {
public:
    // None for text that is not a URL: empty text, characters a URL cannot hold
    // (spaces, controls, non-ASCII, "<>\"{}|\\^`"), malformed escapes, a bad port.
    // Relative references ("a/b?c") are URLs without a scheme.
    static std::optional<URL> parse(std::string_view text);
    // `text` resolved against `base` (RFC 3986 section 5); the result is absolute.
    static std::optional<URL> parse(std::string_view text, const URL& base);
    // A file URL for a path; a relative path is taken from the current folder. Without
    // `isDirectory` the file system is asked, and a folder gets a trailing slash.
    static URL fileURL(std::string_view path, std::optional<bool> isDirectory = std::nullopt);

    const std::string& absoluteString() const { return text_; }
    std::string description() const { return text_; }

    std::optional<std::string> scheme() const;
    std::optional<std::string> user() const;      // percent-decoded
    std::optional<std::string> password() const;  // percent-decoded
    // Percent-decoded, without the brackets of an IPv6 literal; none when empty.
    std::optional<std::string> host() const;
    std::optional<int> port() const;
    // Percent-decoded; a trailing slash is dropped except for the root "/".
    std::string path() const;
    // As written, still percent-encoded.
    std::string percentEncodedPath() const;
    std::optional<std::string> query() const;     // as written, without "?"
    std::optional<std::string> fragment() const;  // as written, without "#"

    bool isFileURL() const;
    bool hasDirectoryPath() const;  // the path ends with "/"
    // "/" first for an absolute path, then each non-empty segment, decoded.
    std::vector<std::string> pathComponents() const;
    std::string lastPathComponent() const;
    std::string pathExtension() const;

    // Appends a segment (percent-encoded for a path). Without `isDirectory`, a file URL
    // asks the file system whether the result is a folder.
    URL appendingPathComponent(std::string_view component, std::optional<bool> isDirectory = std::nullopt) const;
    URL deletingLastPathComponent() const;
    URL appendingPathExtension(std::string_view ext) const;
    URL deletingPathExtension() const;
    // "." and ".." segments removed from the path.
    URL standardized() const;

    friend bool operator==(const URL& a, const URL& b) { return a.text_ == b.text_; }
    friend bool operator<(const URL& a, const URL& b) { return a.text_ < b.text_; }

    // Where each component sits in the text (npos when absent).
    struct Span {
        std::size_t start = std::string::npos, length = 0;
        bool present() const { return start != std::string::npos; }
    };
    struct Layout {
        Span scheme, user, password, host, port, path, query, fragment;
        bool hasAuthority = false;
    };

private:
    URL() = default;
    static std::optional<URL> fromText(std::string text);
    std::optional<std::string> part(const Span& s) const;
    URL withPath(const std::string& encodedPath) const;

    std::string text_;
    Layout layout_;
};

// Splits `text` into its components; false when it is not a URL (see URL::parse).
bool parseURLLayout(std::string_view text, URL::Layout& layout);

}  // namespace platform

template <>
struct std::hash<platform::URL> {
    std::size_t operator()(const platform::URL& u) const noexcept {
        return std::hash<std::string>()(u.absoluteString());
    }
};
