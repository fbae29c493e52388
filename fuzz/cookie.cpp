// Fuzz target: a Set-Cookie value from a server, parsed for the URL it came from, stored,
// and sent back. The URL is the input's first line when that is an http(s) URL (the
// value follows); otherwise the first byte picks one from a table and the whole input is
// the value.
#include <array>

#include "fuzz/FuzzTarget.h"
#include "platform/net/HTTPCookieStorage.h"

using namespace platform;

namespace {

URL requestURL(std::string_view text, std::string_view& value) {
    static const std::array<URL, 6> table = {*URL::parse("https://api.dl.example.com/v1/updates/check"),
                                             *URL::parse("http://example.com"),
                                             *URL::parse("https://a.b.example.co.uk:8443/deep/path/file.zip?x=1"),
                                             *URL::parse("http://192.168.0.1/"),
                                             *URL::parse("https://localhost/a/"),
                                             *URL::parse("http://[::1]:8080/x")};
    const auto [line, rest] = fuzzFirstLine(text);
    if (line.starts_with("http")) {
        if (auto url = URL::parse(line); url && url->host()) {
            value = rest;
            return *url;
        }
    }
    value = text;
    return table[text.empty() ? 0 : static_cast<unsigned char>(text[0]) % table.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view value;
    const URL url = requestURL(fuzzText(data, size), value);
    auto cookie = HTTPCookie::parseSetCookie(value, url);
    if (!cookie) return 0;
    (void)cookie->matches(url);
    auto storage = HTTPCookieStorage::create();
    storage->setCookies({*cookie}, url, std::nullopt);
    (void)HTTPCookie::requestHeaderFields(storage->cookies(url));
    return 0;
}
