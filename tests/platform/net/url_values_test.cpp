// The value types of URL loading: header fields, responses and their file names, the
// libcurl result table, cookies, and resume data.
#include <gtest/gtest.h>

#include <cerrno>
#include <curl/curl.h>

#include "platform/net/DownloadResumeData.h"
#include "platform/net/HTTPCookieStorage.h"
#include "platform/net/URLError.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

using namespace platform;

namespace {

URL url(const std::string& text) { return *URL::parse(text); }

TEST(URLValues, HeaderFieldsMatchWithoutCaseAndKeepSpelling) {
    URLRequest request(url("http://example.com/a"));
    EXPECT_EQ(request.httpMethod(), "GET");
    EXPECT_FALSE(request.allHTTPHeaderFields());
    request.setValue("text/plain", "Content-Type");
    request.setValue("application/json", "content-type");
    request.addValue("a", "Accept");
    request.addValue("b", "ACCEPT");
    EXPECT_EQ(request.value("CONTENT-TYPE"), "application/json");
    EXPECT_EQ(request.value("accept"), "a, b");
    EXPECT_EQ(request.allHTTPHeaderFields()->count("Content-Type"), 1u);
    EXPECT_FALSE(request.unsafeHeaderField());
    for (const auto& bad : std::vector<std::string>{"a\rb", "a\nb", std::string("a\0b", 3)}) {
        URLRequest r(url("http://example.com/"));
        r.setValue(bad, "X-Field");
        EXPECT_EQ(r.unsafeHeaderField(), "X-Field");
    }
    request.setHTTPBodyStream(InputStream::withData(Data::fromString("s")));
    request.setHTTPBody(Data::fromString("b"));
    EXPECT_FALSE(request.httpBodyStream());  // one body at a time
}

TEST(URLValues, ResponseFieldsAndSafeSuggestedFilenames) {
    HTTPURLResponse r(url("http://h/files/report.pdf?x=1"), 200, "HTTP/1.1",
                      {{"content-type", "Text/HTML; Charset=\"ISO-8859-1\""}, {"Content-Length", "42"}});
    EXPECT_EQ(r.mimeType(), "text/html");
    EXPECT_EQ(r.textEncodingName(), "iso-8859-1");
    EXPECT_EQ(r.expectedContentLength(), 42);
    EXPECT_EQ(r.value("CONTENT-LENGTH"), "42");
    EXPECT_EQ(r.suggestedFilename(), "report.pdf");
    EXPECT_EQ(HTTPURLResponse(url("http://h/x"), 200, "HTTP/1.1", {{"Content-Length", "-5"}}).expectedContentLength(),
              -1);

    struct Case {
        std::string url, disposition, expected;
    };
    for (auto& c : std::vector<Case>{
             {"http://h/a.zip", "attachment; filename=\"b.zip\"", "b.zip"},
             {"http://h/a.zip", "attachment; filename=\"../../etc/passwd\"", "passwd"},
             {"http://h/a.zip", "attachment; filename=\"..\"", "a.zip"},
             {"http://h/a.zip", "attachment; filename=\"dir\\\\evil.exe\"", "evil.exe"},
             {"http://h/a.zip", "attachment; filename*=UTF-8''na%C3%AFve.txt; filename=\"plain.txt\"", "naïve.txt"},
             {"http://h/", "", "Unknown"},
             {"http://h/..", "", "Unknown"},
         }) {
        SCOPED_TRACE(c.disposition);
        HTTPHeaderFields fields;
        if (!c.disposition.empty()) fields.set("Content-Disposition", c.disposition);
        auto name = HTTPURLResponse(url(c.url), 200, "HTTP/1.1", fields).suggestedFilename();
        EXPECT_EQ(name, c.expected);
        EXPECT_EQ(name.find('/'), std::string::npos);
    }
}

TEST(URLValues, CurlResultsMapToTheURLErrorCodes) {
    using C = URLError::Code;
    struct Case {
        CURLcode curl;
        long osErrno;
        std::optional<C> code;
    };
    for (auto& c : std::vector<Case>{
             {CURLE_OK, 0, std::nullopt},
             {CURLE_COULDNT_RESOLVE_HOST, 0, C::cannotFindHost},
             {CURLE_COULDNT_CONNECT, ECONNREFUSED, C::cannotConnectToHost},
             {CURLE_COULDNT_CONNECT, ENETUNREACH, C::notConnectedToInternet},
             {CURLE_OPERATION_TIMEDOUT, 0, C::timedOut},
             {CURLE_PARTIAL_FILE, 0, C::networkConnectionLost},
             {CURLE_RECV_ERROR, 0, C::networkConnectionLost},
             {CURLE_SSL_CONNECT_ERROR, 0, C::secureConnectionFailed},
             {CURLE_PEER_FAILED_VERIFICATION, 0, C::serverCertificateUntrusted},
             {CURLE_TOO_MANY_REDIRECTS, 0, C::httpTooManyRedirects},
             {CURLE_BAD_CONTENT_ENCODING, 0, C::cannotDecodeContentData},
             {CURLE_UNSUPPORTED_PROTOCOL, 0, C::unsupportedURL},
         }) {
        EXPECT_EQ(urlErrorCodeForCurlResult(c.curl, c.osErrno), c.code) << c.curl;
    }
    auto error = URLError::make(C::timedOut, url("http://h/x"));
    EXPECT_EQ(error->code(), -1001);
    EXPECT_EQ(error->domain(), NSURLErrorDomain);
    EXPECT_EQ(error->localizedDescription(), "The request timed out.");
    EXPECT_EQ(error->failingURL(), url("http://h/x"));
    EXPECT_FALSE(error->isCancelled());
    EXPECT_TRUE(URLError::make(C::cancelled)->isCancelled());
}

TEST(URLValues, CookiesParseMatchAndExpire) {
    auto origin = url("https://www.example.com/shop/cart");
    auto parse = [&](const std::string& line) { return HTTPCookie::parseSetCookie(line, origin); };
    auto c = parse("id=42; Domain=.example.com; Path=/shop; Secure; HttpOnly; Max-Age=3600");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->domain, "example.com");
    EXPECT_TRUE(c->isSecure && c->isHTTPOnly && !c->isSessionOnly());
    EXPECT_TRUE(c->matches(url("https://api.example.com/shop/x")));
    EXPECT_FALSE(c->matches(url("http://www.example.com/shop/x")));  // secure only
    EXPECT_FALSE(c->matches(url("https://www.example.com/shopping")));
    EXPECT_FALSE(parse("a=1; Domain=other.com"));  // for another site
    EXPECT_FALSE(parse("novalue"));
    auto hostOnly = parse("b=2");
    EXPECT_FALSE(hostOnly->matches(url("https://sub.www.example.com/shop/cart")));
    EXPECT_EQ(hostOnly->path, "/shop");

    HTTPCookieStorage storage;
    storage.setCookie(*c);
    storage.setCookie(*parse("id=43; Domain=example.com; Path=/shop"));         // replaces
    storage.setCookie(*parse("old=1; Expires=Wed, 21 Oct 2015 07:28:00 GMT"));  // already expired
    ASSERT_EQ(storage.cookies().size(), 1u);
    EXPECT_EQ(storage.cookies()[0].value, "43");
    EXPECT_EQ(HTTPCookie::requestHeaderFields(storage.cookies(url("https://example.com/shop/a"))).value("Cookie"),
              "id=43");
    storage.setCookieAcceptPolicy(HTTPCookieAcceptPolicy::never);
    storage.setCookie(*parse("x=1"));
    EXPECT_EQ(storage.cookies().size(), 1u);
}

TEST(URLValues, ResumeDataRoundTripsAndRejectsOthers) {
    DownloadResumeData r;
    r.request = URLRequest(url("http://h/big.bin"));
    r.request.setValue("token", "Authorization");
    r.temporaryPath = "/tmp/x.tmp";
    r.offset = 1234;
    r.entityTag = "W/\"weak\"";
    r.lastModified = "Wed, 21 Oct 2015 07:28:00 GMT";
    auto decoded = DownloadResumeData::decode(r.encoded());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->request.url(), r.request.url());
    EXPECT_EQ(decoded->request.value("Authorization"), "token");
    EXPECT_EQ(decoded->offset, 1234);
    EXPECT_EQ(decoded->validator(), r.lastModified);  // a weak tag cannot guard a range
    EXPECT_FALSE(DownloadResumeData::decode(Data::fromString("{\"url\":\"http://h/\"}")));
}

}  // namespace
