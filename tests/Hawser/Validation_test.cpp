// Response validation: the status and content-type checks as tables with their exact
// messages, and validators appended to real requests against a local server.
#include <gtest/gtest.h>

#include <filesystem>

#include "Hawser/Session.h"
#include "Hawser/Validation.h"
#include "tests/Hawser/server_support.h"
#include "tests/support/TempDir.h"

using namespace Hawser;
using platform::HTTPURLResponse;

namespace {

HTTPURLResponse responseWith(int status, std::optional<std::string> contentType) {
    platform::HTTPHeaderFields fields;
    if (contentType) fields.set("Content-Type", *contentType);
    return HTTPURLResponse(*platform::URL::parse("http://h/"), status, "HTTP/1.1", fields);
}

// "" for a success, else the failure's message.
std::string outcome(const ValidationResult& result) {
    if (result.isSuccess()) return "";
    return result.error()->localizedDescription();
}

}  // namespace

TEST(Validation, StatusCodes) {
    struct Case {
        int status;
        std::string expected;
    };
    const std::vector<Case> cases{
        {200, ""},
        {299, ""},
        {199, "Response status code was unacceptable: 199."},
        {300, "Response status code was unacceptable: 300."},
        {404, "Response status code was unacceptable: 404."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outcome(validate(acceptableStatusCodes(), responseWith(c.status, "a/b"))), c.expected);
    EXPECT_EQ(outcome(validate(StatusCodes{201, 404}, responseWith(404, std::nullopt))), "");
    EXPECT_EQ(outcome(validate(StatusCodes{201, 404}, responseWith(200, std::nullopt))),
              "Response status code was unacceptable: 200.");
    auto code = validate(acceptableStatusCodes(), responseWith(500, std::nullopt)).error();
    EXPECT_EQ(asHWError(code)->responseCode(), 500);
}

TEST(Validation, ContentTypes) {
    struct Case {
        std::vector<std::string> acceptable;
        std::optional<std::string> responseType;
        std::string expected;
    };
    const std::vector<Case> cases{
        {{"text/plain", " application/json"}, "application/json; charset=utf-8", ""},
        {{"text/plain", " application/json"},
         "text/html",
         "Response Content-Type \"text/html\" does not match any acceptable types:  application/json,text/plain."},
        {{"text/*"}, "text/html", ""},
        {{"*/json"}, "application/json", ""},
        {{"application/json;q=0.9"}, "application/json", ""},
        {{"*"}, "image/png", ""},
        {{"*"}, std::nullopt, ""},
        {{"*/*"}, std::nullopt, ""},
        {{"text/html"}, "*/*", "Response Content-Type \"*/*\" does not match any acceptable types: text/html."},
        {{}, "text/html", "Response Content-Type \"text/html\" does not match any acceptable types: ."},
        {{}, std::nullopt, "Response Content-Type was missing and acceptable content types () do not match \"*/*\"."},
        {{"text/plain", "application/json"},
         std::nullopt,
         "Response Content-Type was missing and acceptable content types (application/json,text/plain) do not match "
         "\"*/*\"."},
    };
    for (const auto& c : cases) {
        auto response = responseWith(200, c.responseType);
        EXPECT_EQ(outcome(validate(c.acceptable, response)), c.expected) << c.responseType.value_or("none");
        // With a body the same; without one (or an empty one) always a success.
        EXPECT_EQ(outcome(validate(c.acceptable, response, platform::Data::fromString("x"))), c.expected);
        EXPECT_EQ(outcome(validate(c.acceptable, response, std::optional<platform::Data>(platform::Data()))), "");
        EXPECT_EQ(outcome(validate(c.acceptable, response, std::optional<platform::Data>())), "");
    }
    auto error = asHWError(validate({"b/b", "a/a"}, responseWith(200, "c/c")).error());
    EXPECT_EQ(error->acceptableContentTypes(), (std::vector<std::string>{"a/a", "b/b"}));
    EXPECT_EQ(error->responseContentType(), "c/c");

    // Matching is exact text: no case folding, "*" is a wildcard only on the acceptable side.
    EXPECT_FALSE(MIMEType("application/json").matches(MIMEType("Application/JSON")));
    EXPECT_FALSE(MIMEType("text/html").matches(MIMEType("*/*")));
    MIMEType odd("  a/b/c;x=y \n");
    EXPECT_EQ(odd.type, "a");
    EXPECT_EQ(odd.subtype, "c");
}

TEST(Validation, DownloadedFiles) {
    testing_support::TempDir dir;
    auto response = responseWith(200, "text/html");
    const std::vector<std::string> json{"application/json"};
    EXPECT_EQ(outcome(validate(json, response, std::optional<platform::URL>())),
              "Response could not be validated, data file was nil.");
    auto gone = platform::URL::fileURL((dir / "gone").string());
    EXPECT_EQ(outcome(validate(json, response, std::optional<platform::URL>(gone))),
              "Response could not be validated, data file could not be read: " + gone.absoluteString() + ".");
    testing_support::writeFile(dir / "empty", "");
    EXPECT_EQ(outcome(validate(json, response, std::optional(platform::URL::fileURL((dir / "empty").string())))), "");
    testing_support::writeFile(dir / "page", "<html>");
    EXPECT_EQ(outcome(validate(json, response, std::optional(platform::URL::fileURL((dir / "page").string())))),
              "Response Content-Type \"text/html\" does not match any acceptable types: application/json.");
}

TEST(Validation, ValidatorsOnRealRequests) {
    testing_support::TempDir temp;
    testing_support::ScopedTemporaryFolder temporary(temp.path());  // the downloaded files go with `temp`
    server_support::LocalServer server([](const server_support::HTTPExchange& exchange) {
        int status = std::stoi(exchange.path.substr(exchange.path.find('/', 1) + 1));
        std::string type = exchange.path.substr(1, exchange.path.find('/', 1) - 1);
        for (auto& ch : type)
            if (ch == '_') ch = '/';
        return server_support::HTTPReply{status, "", {{"Content-Type", type}}, {"body"}};
    });
    auto session = Session::create();
    auto run = [&](const RequestPtr& request) -> std::string {
        request->resume();
        EXPECT_TRUE(server_support::waitForFinish(request));
        auto error = request->error();
        return error ? error->errorDescription() : "";
    };
    HTTPHeaders accept{HTTPHeader::accept("text/plain, application/json")};

    EXPECT_EQ(run(validate(session->request(server.url("/application_json/200"), HTTPMethod::get, std::nullopt,
                                            URLEncoding::default_(), accept))),
              "");
    EXPECT_EQ(run(validate(session->request(server.url("/text_html/200"), HTTPMethod::get, std::nullopt,
                                            URLEncoding::default_(), accept))),
              "Response Content-Type \"text/html\" does not match any acceptable types:  application/json,text/plain.");
    // A failing status code leaves the content type untested.
    EXPECT_EQ(run(validate(session->request(server.url("/text_html/404"), HTTPMethod::get, std::nullopt,
                                            URLEncoding::default_(), accept))),
              "Response status code was unacceptable: 404.");
    // Without an Accept header every type passes.
    EXPECT_EQ(run(validate(session->request(server.url("/text_html/200")))), "");
    // Validators of one request run in order; the first failure wins.
    auto data = session->request(server.url("/text_html/200"));
    validate(data, StatusCodes{201});
    validate(data, ContentTypes([] { return std::vector<std::string>{"image/png"}; }));
    EXPECT_EQ(run(data), "Response status code was unacceptable: 200.");

    EXPECT_EQ(run(validate(session->streamRequest(server.url("/text_html/500")))),
              "Response status code was unacceptable: 500.");
    EXPECT_EQ(run(validate(session->streamRequest(server.url("/text_html/200")),
                           ContentTypes([] { return std::vector<std::string>{"text/plain"}; }))),
              "Response Content-Type \"text/html\" does not match any acceptable types: text/plain.");

    auto download = session->download(server.url("/text_html/200"));
    validate(download, ContentTypes([] { return std::vector<std::string>{"application/json"}; }));
    EXPECT_EQ(run(download),
              "Response Content-Type \"text/html\" does not match any acceptable types: application/json.");
    EXPECT_EQ(run(validate(session->download(server.url("/text_html/202")), StatusCodes{202})), "");
}
