// The head of an answer read line by line: status line, fields, folded lines, interim
// answers and the size limit.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/net/ResponseHeadParser.h"

using namespace platform;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;
using Outcome = ResponseHeadParser::Outcome;

TEST(ResponseHeadParser, ReadsTheHeadOfTheFinalAnswer) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        int status;
        std::string version;
        Fields fields;
        std::vector<std::size_t> completeAt;  // the lines that end a final answer's head
    };
    const std::vector<Case> cases{
        {"plain head",
         {"HTTP/1.1 200 OK\r\n", "Content-Type: text/plain\r\n", "Content-Length:  5 \r\n", "\r\n"},
         200,
         "HTTP/1.1",
         {{"Content-Type", "text/plain"}, {"Content-Length", "5"}},
         {3}},
        {"folded lines join the field above with one space",
         {"HTTP/1.1 200 OK\r\n", "X-Long: first\r\n", "   second\r\n", "\tthird: part\r\n", "Next: n\r\n", "\r\n"},
         200,
         "HTTP/1.1",
         {{"X-Long", "first second third: part"}, {"Next", "n"}},
         {5}},
        {"a folded line with no field above is read as a line of its own",
         {"HTTP/1.1 200 OK\r\n", " Lead: l\r\n", "\r\n"},
         200,
         "HTTP/1.1",
         {{"Lead", "l"}},
         {2}},
        {"a field repeated is joined with a comma",
         {"HTTP/1.1 200 OK\r\n", "Vary: a\r\n", "vary: b\r\n", "\r\n"},
         200,
         "HTTP/1.1",
         {{"Vary", "a, b"}},
         {3}},
        {"lines that are not fields are left out",
         {"HTTP/1.1 200 OK\r\n", "no colon here\r\n", ": no name\r\n", "Empty:\r\n", "\r\n"},
         200,
         "HTTP/1.1",
         {{"Empty", ""}},
         {4}},
        {"an interim answer is followed by the final one",
         {"HTTP/1.1 100 Continue\r\n", "X-Interim: 1\r\n", "\r\n", "HTTP/1.1 201 Created\r\n", "Location: /n\r\n",
          "\r\n"},
         201,
         "HTTP/1.1",
         {{"Location", "/n"}},
         {5}},
        {"a new status line after a complete head starts over",
         {"HTTP/1.1 401 Unauthorized\r\n", "WWW-Authenticate: Digest\r\n", "\r\n", "HTTP/2 200\r\n", "A: b\r\n",
          "\r\n"},
         200,
         "HTTP/2",
         {{"A", "b"}},
         {2, 5}},
        {"an interim answer alone is not a complete head",
         {"HTTP/1.1 103 Early Hints\r\n", "Link: </a>\r\n", "\r\n"},
         103,
         "HTTP/1.1",
         {{"Link", "</a>"}},
         {}},
        {"a status line without a code", {"HTTP/1.0\r\n", "\r\n"}, 0, "HTTP/1.0", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResponseHeadParser parser;
        std::vector<std::size_t> completeAt;
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            if (parser.take(c.lines[i]) == Outcome::headComplete) completeAt.push_back(i);
        EXPECT_EQ(completeAt, c.completeAt);
        EXPECT_EQ(parser.status(), c.status);
        EXPECT_EQ(parser.httpVersion(), c.version);
        EXPECT_EQ(parser.fields().fields(), c.fields);
    }
}

TEST(ResponseHeadParser, TellsEachFieldWholeAndInOrder) {
    Fields told;
    ResponseHeadParser parser(
        [&](const std::string& name, const std::string& value) { told.emplace_back(name, value); });
    for (const char* line : {"HTTP/1.1 302 Found\r\n", "Set-Cookie: a=1;\r\n", " Path=/\r\n", "Set-Cookie: b=2\r\n"})
        parser.take(line);
    EXPECT_EQ(told, (Fields{{"Set-Cookie", "a=1; Path=/"}}));  // the last field may still be continued
    EXPECT_EQ(parser.take("\r\n"), Outcome::headComplete);
    // Each Set-Cookie stays apart for the handler, though the fields join them.
    EXPECT_EQ(told, (Fields{{"Set-Cookie", "a=1; Path=/"}, {"Set-Cookie", "b=2"}}));
    EXPECT_EQ(parser.fields().value("Set-Cookie"), "a=1; Path=/, b=2");
}

TEST(ResponseHeadParser, RefusesAHeadOverItsLimitCountedPerAnswer) {
    const std::string field = "X-Filler: " + std::string(1000, 'x') + "\r\n";
    const std::size_t fieldsThatFit = (ResponseHeadParser::maxHeadBytes - 20) / field.size();

    ResponseHeadParser parser;
    for (int answer = 0; answer < 2; ++answer) {  // an interim answer's lines do not count for the next
        ASSERT_EQ(parser.take("HTTP/1.1 100 Continue\r\n"), Outcome::more);
        for (std::size_t i = 0; i < fieldsThatFit * 3 / 5; ++i) ASSERT_EQ(parser.take(field), Outcome::more);
        ASSERT_EQ(parser.take("\r\n"), Outcome::more);
    }
    ASSERT_EQ(parser.take("HTTP/1.1 200 OK\r\n"), Outcome::more);
    for (std::size_t i = 0; i < fieldsThatFit; ++i) ASSERT_EQ(parser.take(field), Outcome::more);
    EXPECT_EQ(parser.take(field), Outcome::tooLarge);
}

TEST(ResponseHeadParser, ResetForgetsTheAnswerAndMakesTheResponse) {
    ResponseHeadParser parser;
    parser.take("HTTP/1.1 404 Not Found\r\n");
    parser.take("Content-Length: 3\r\n");
    parser.take("\r\n");
    auto response = parser.response(*URL::parse("http://h/x"));
    EXPECT_EQ(response->statusCode(), 404);
    EXPECT_EQ(response->httpVersion(), "HTTP/1.1");
    EXPECT_EQ(response->expectedContentLength(), 3);
    EXPECT_EQ(response->url()->absoluteString(), "http://h/x");

    parser.take("HTTP/1.1 200 OK\r\n");
    parser.take("Open: field\r\n");  // not yet closed by a following line
    parser.reset();
    EXPECT_EQ(parser.status(), 0);
    EXPECT_EQ(parser.httpVersion(), "");
    EXPECT_TRUE(parser.fields().isEmpty());
    EXPECT_EQ(parser.take("\r\n"), Outcome::more);
    EXPECT_TRUE(parser.fields().isEmpty());
}

}  // namespace
