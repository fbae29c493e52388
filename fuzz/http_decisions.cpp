// Fuzz target: what a task decides on a response head apart from parsing it: where a
// redirect leads (Location against the request's URL, method, body and credentials) and
// what a resumed download's Content-Range announces. The first byte picks the status and
// the request; the lines that follow are the Location, the Content-Range and the
// Content-Length.
#include <array>
#include <charconv>

#include "fuzz/FuzzTarget.h"
#include "platform/net/TaskDriverSupport.h"

using namespace platform;

namespace {

URLRequest requestFor(std::uint8_t selector) {
    static const std::array<const char*, 4> urls = {"https://api.dl.example.com/v1/updates/check?x=1",
                                                    "http://dl.example.com:8080/packages/", "https://[::1]/a/b",
                                                    "http://user:pw@example.com/"};
    static const std::array<const char*, 3> methods = {"GET", "POST", "HEAD"};
    URLRequest request(*URL::parse(urls[selector % urls.size()]));
    request.setHTTPMethod(methods[selector / urls.size() % methods.size()]);
    request.setValue("Bearer token", "Authorization");
    request.setValue("a=b", "Cookie");
    request.setHTTPBody(Data::fromString("body"));
    return request;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const std::array<int, 6> statuses = {301, 302, 303, 307, 308, 206};
    std::string_view text = fuzzText(data + 1, size - 1);
    auto [location, rest] = fuzzFirstLine(text);
    auto [range, tail] = fuzzFirstLine(rest);
    auto [length, ignored] = fuzzFirstLine(tail);
    const URLRequest request = requestFor(data[0]);
    HTTPHeaderFields headers;
    headers.set("Location", std::string(location));
    if (auto next = driver::redirectedRequest(request, statuses[data[0] % statuses.size()], headers)) {
        fuzzCheck(next->url() && (next->url()->scheme() == "http" || next->url()->scheme() == "https"),
                  "a redirect leads to a URL that is not http(s)");
        if (!driver::sameOrigin(*request.url(), *next->url()))
            fuzzCheck(!next->value("Authorization") && !next->value("Cookie"), "credentials follow a redirect away");
    }
    std::int64_t expected = -1;
    std::from_chars(length.data(), length.data() + length.size(), expected);
    for (std::int64_t offset : {std::int64_t(0), std::int64_t(1), std::int64_t(4096), std::int64_t(1) << 40})
        (void)driver::resumedTotalLength(std::string(range), offset, expected);
    return 0;
}
