// Fuzz target: charset decoding of a response body. The first line is the Content-Type a
// server sends; the charset it names picks the encoding (as the string serializers pick
// it) and the rest of the input is the body decoded in it. Decoded text must be UTF-8.
#include <string>

#include "Hawser/CharsetName.h"
#include "Pledge/String+URLResponse.h"
#include "fuzz/FuzzTarget.h"
#include "platform/foundation/StringEncoding.h"
#include "platform/net/URLResponse.h"

using namespace platform;

namespace {

void checkDecoded(const std::optional<std::string>& text) {
    fuzzCheck(!text || isValidUTF8(*text), "decoded text is not UTF-8");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const URL url = *URL::parse("https://api.dl.example.com/v1/updates/check");
    const auto [contentType, rest] = fuzzFirstLine(fuzzText(data, size));
    const Data body = Data::fromString(rest);
    HTTPHeaderFields headers;
    headers.set("Content-Type", std::string(contentType));
    HTTPURLResponse response(url, 200, "HTTP/1.1", headers);
    if (auto name = response.textEncodingName()) {
        if (auto encoding = Hawser::stringEncodingForIANACharsetName(*name)) checkDecoded(encoding->decode(body));
        if (auto encoding = StringEncoding::fromCharsetName(*name)) checkDecoded(encoding->decode(body));
    }
    (void)Pledge::textEncoding(&response);
    checkDecoded(Pledge::stringWithData(body, response));
    return 0;
}
