// The header lines of a response as the URL layer reads them from the server.
#include <gtest/gtest.h>

#include "platform/net/ResponseHeaderLine.h"

using platform::ResponseHeaderLine;
using Kind = ResponseHeaderLine::Kind;

TEST(ResponseHeaderLineTest, StatusLinesFieldsTheEndAndNoise) {
    struct Case {
        const char* line;
        Kind kind;
        const char* first;  // version or name
        const char* second;  // value
        int status;
    };
    const std::vector<Case> cases = {
        {"HTTP/1.1 200 OK\r\n", Kind::statusLine, "HTTP/1.1", "", 200},
        {"HTTP/2 206\r\n", Kind::statusLine, "HTTP/2", "", 206},
        {"HTTP/1.1 2x0 Odd\r\n", Kind::statusLine, "HTTP/1.1", "", 0},
        {"HTTP/1.0\r\n", Kind::statusLine, "HTTP/1.0", "", 0},
        {"HTTP/1.1 20", Kind::statusLine, "HTTP/1.1", "", 0},
        {"Content-Length:  1234 \r\n", Kind::field, "Content-Length", "1234", 0},
        {"  X-Spaced :a: b\t\r\n", Kind::field, "X-Spaced", "a: b", 0},
        {"Empty:\r\n", Kind::field, "Empty", "", 0},
        {"\r\n", Kind::end, "", "", 0},
        {"", Kind::end, "", "", 0},
        {": no name\r\n", Kind::ignored, "", "", 0},
        {"no colon\r\n", Kind::ignored, "", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto parsed = ResponseHeaderLine::parse(c.line);
        EXPECT_EQ(parsed.kind, c.kind);
        EXPECT_EQ(parsed.statusCode, c.status);
        if (c.kind == Kind::statusLine) {
            EXPECT_EQ(parsed.httpVersion, c.first);
        }
        if (c.kind == Kind::field) {
            EXPECT_EQ(parsed.name, c.first);
            EXPECT_EQ(parsed.value, c.second);
        }
    }
}
