// Fuzz target: a response's header block as the URL layer receives it, line by line:
// status lines, fields (folded ones joined), the response made of them and what is read from it.
// The file name suggested for a download must be one safe path component.
#include <string>

#include "fuzz/FuzzTarget.h"
#include "platform/net/HTTPCookieStorage.h"
#include "platform/net/ResponseHeadParser.h"
#include "platform/net/TaskDriverSupport.h"
#include "platform/net/URLResponse.h"

using namespace platform;

namespace {

void readResponse(const URL& url, int status, const std::string& version, const HTTPHeaderFields& headers) {
    HTTPURLResponse response(url, status, version, headers);
    (void)response.mimeType(), (void)response.expectedContentLength(), (void)response.textEncodingName();
    (void)response.allHeaderFields();
    const std::string name = response.suggestedFilename();
    fuzzCheck(!name.empty() && name != "." && name != ".." &&
                  name.find_first_of(std::string("/\0", 2)) == std::string::npos,
              "the suggested file name is not one safe path component");
    (void)driver::authenticationScheme(headers);
    (void)HTTPCookie::cookies(headers, url);
    (void)HTTPURLResponse::localizedString(status);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const URL url = *URL::parse("https://dl.example.com/packages/Skyreach-2.0.zip");
    const auto text = fuzzText(data, size);
    ResponseHeadParser head([](const std::string& name, const std::string& value) {
        if (name == "Set-Cookie") (void)HTTPCookie::parseSetCookie(value, url);
    });
    auto read = [&] {
        readResponse(url, head.status(), head.httpVersion(), head.fields());
        (void)head.response(url);
    };
    for (std::size_t start = 0; start < text.size();) {
        const auto end = text.find('\n', start);
        const auto line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end + 1 - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        switch (head.take(line)) {
            case ResponseHeadParser::Outcome::headComplete: read(); break;
            case ResponseHeadParser::Outcome::tooLarge: head.reset(); break;
            case ResponseHeadParser::Outcome::more: break;
        }
    }
    read();
    return 0;
}
