// One line of an HTTP response's header block, as libcurl hands it over: a status line
// ("HTTP/1.1 200 OK"), a header field ("Name: value"), the empty line that ends the block,
// or anything else, which is ignored. The text is the server's and is trusted in nothing.
#pragma once
#include <string>
#include <string_view>

namespace platform {

struct ResponseHeaderLine {
    enum class Kind { statusLine, field, end, ignored };
    Kind kind = Kind::ignored;
    std::string httpVersion;  // a status line's protocol, "HTTP/1.1"
    int statusCode = 0;       // a status line's code; 0 when it holds none
    std::string name, value;  // a field's, without surrounding spaces

    static ResponseHeaderLine parse(std::string_view line);
};

}  // namespace platform
