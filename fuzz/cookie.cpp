// Fuzz target: a Set-Cookie value from a server, parsed for a URL, stored, and sent back.
#include "fuzz/FuzzTarget.h"
#include "platform/net/HTTPCookieStorage.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const URL url = *URL::parse("https://api.dl.example.com/v1/updates/check");
    auto cookie = HTTPCookie::parseSetCookie(fuzzText(data, size), url);
    if (!cookie) return 0;
    (void)cookie->matches(url);
    auto storage = HTTPCookieStorage::create();
    storage->setCookies({*cookie}, url, std::nullopt);
    (void)HTTPCookie::requestHeaderFields(storage->cookies(url));
    return 0;
}
