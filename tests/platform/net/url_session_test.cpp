// URL sessions against a local server: delegate order per task kind, redirects decided by
// the delegate, completion-handler forms, decoding, cookies, challenges, suspend and cancel.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <pthread.h>
#include <zlib.h>

#include <cstdio>
#include <future>

#include "platform/base/NoDestructor.h"
#include "platform/net/CurlEngine.h"
#include "platform/net/URLError.h"
#include "tests/platform/net/NetTestSupport.h"

using namespace platform;
using namespace nettest;
using testing_support::TempDir;

namespace {

std::string gzipped(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(text.size() + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string patterned(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + i / 65536) % 253);
    return text;
}

std::string md5Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < length; ++i) out += std::string{hex[digest[i] >> 4], hex[digest[i] & 15]};
    return out;
}

// The value of `name="..."` or `name=...` in a Digest Authorization field.
std::string digestParameter(const std::string& field, const std::string& name) {
    auto at = field.find(name + "=");
    if (at == std::string::npos) return "";
    at += name.size() + 1;
    if (field[at] == '"') return field.substr(at + 1, field.find('"', at + 1) - at - 1);
    return field.substr(at, field.find_first_of(", ", at) - at);
}

class URLSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        server->Get("/hello", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("hello world", "text/plain; charset=UTF-8");
        });
        server->Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(3 * 1024 * 1024, 'x'), "application/octet-stream");
        });
        server->Get("/patterned", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(patterned(12 * 1024 * 1024), "application/octet-stream");
        });
        server->Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.method + " " + std::to_string(req.body.size()) + " " +
                                req.get_header_value("Content-Type"),
                            "text/plain");
        });
        server->Get("/gzip", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Content-Encoding", "gzip");
            res.set_content(gzipped(std::string(1000, 'z') + "end"), "text/plain");
        });
        server->Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "/hello");
            res.set_content("moved", "text/plain");
        });
        server->Post("/see-other", [](const httplib::Request&, httplib::Response& res) {
            res.status = 303;
            res.set_header("Location", "/hello");
        });
        server->Get("/set-cookie", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "session=abc123; Path=/");
            res.set_content("ok", "text/plain");
        });
        server->Get("/show-cookie", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        });
        server->Get("/basic", [](const httplib::Request& req, httplib::Response& res) {
            // "user:secret"
            if (req.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") {
                res.set_content("welcome", "text/plain");
                return;
            }
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"vault\"");
            res.set_content("denied", "text/plain");
        });
        auto digest = [](const httplib::Request& req, httplib::Response& res) {
            auto field = req.get_header_value("Authorization");
            if (field.rfind("Digest ", 0) == 0) {
                auto ha1 = md5Hex("user:vault:secret");
                auto ha2 = md5Hex(req.method + ":" + digestParameter(field, "uri"));
                auto expected =
                    md5Hex(ha1 + ":" + digestParameter(field, "nonce") + ":" + digestParameter(field, "nc") + ":" +
                           digestParameter(field, "cnonce") + ":" + digestParameter(field, "qop") + ":" + ha2);
                if (digestParameter(field, "response") == expected)
                    return res.set_content("digest ok " + std::to_string(req.body.size()), "text/plain");
            }
            res.status = 401;
            res.set_header("WWW-Authenticate", "Digest realm=\"vault\", qop=\"auth\", nonce=\"n0nce\", algorithm=MD5");
        };
        server->Get("/digest", digest);
        server->Post("/digest", digest);
        server->Get("/cacheable", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("keep me", "application/octet-stream");
        });
        server.start();
    }

    URLSessionPtr
    makeSession(std::shared_ptr<RecordingDelegate> delegate,
                URLSessionConfiguration config = URLSessionConfiguration::ephemeralSessionConfiguration()) {
        config.timeoutIntervalForRequest = 10;
        return URLSession::create(std::move(config), delegate);
    }

    LocalServer server;
};

TEST_F(URLSessionTest, DataTaskReportsResponseDataMetricsAndCompletionInOrder) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = makeSession(delegate);
    URLRequest request(server.url("/hello"));
    request.setValue("identity", "Accept-Encoding");  // so the length on the wire is the text's
    auto task = session->dataTask(request);
    EXPECT_EQ(task->state(), URLSessionTask::State::suspended);
    task->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    EXPECT_EQ(delegate->eventKinds(), (std::vector<std::string>{"response", "data", "metrics", "complete"}));
    EXPECT_EQ(delegate->data.toString(), "hello world");
    EXPECT_EQ(delegate->error, nullptr);
    auto http = std::dynamic_pointer_cast<const HTTPURLResponse>(delegate->response);
    ASSERT_TRUE(http);
    EXPECT_EQ(http->statusCode(), 200);
    EXPECT_EQ(http->mimeType(), "text/plain");
    EXPECT_EQ(http->textEncodingName(), "utf-8");
    EXPECT_EQ(http->expectedContentLength(), 11);
    EXPECT_EQ(task->state(), URLSessionTask::State::completed);
    EXPECT_EQ(task->countOfBytesReceived(), 11);
    ASSERT_TRUE(delegate->metrics);
    ASSERT_EQ(delegate->metrics->transactionMetrics.size(), 1u);
    EXPECT_EQ(delegate->metrics->transactionMetrics[0].networkProtocolName, "http/1.1");
    EXPECT_EQ(delegate->metrics->transactionMetrics[0].remoteAddress, "127.0.0.1");
    auto all = delegate->events();
    EXPECT_EQ(std::count(all.begin(), all.end(), "metrics"), 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), "complete"), 1);
}

// More than the session lets wait for a delegate (so reading stops and starts again).
TEST_F(URLSessionTest, LargeBodyArrivesWholeAndInOrderThroughASlowDelegate) {
    struct Slow : RecordingDelegate {
        void didReceiveData(const URLSessionPtr& s, const URLSessionDataTaskPtr& t, const Data& d) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a busy delegate, not synchronisation
            RecordingDelegate::didReceiveData(s, t, d);
        }
    };
    auto delegate = std::make_shared<Slow>();
    auto session = makeSession(delegate);
    URLRequest request(server.url("/patterned"));
    request.setValue("identity", "Accept-Encoding");
    session->dataTask(request)->resume();
    ASSERT_TRUE(delegate->waitForCompletion(20));
    EXPECT_EQ(delegate->error, nullptr);
    EXPECT_TRUE(delegate->data.toString() == patterned(12 * 1024 * 1024));
}

TEST_F(URLSessionTest, DownloadTaskWritesAFileThenMetricsThenCompletion) {
    TempDir dir;
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->moveDownloadTo = (dir / "kept.bin").string();
    auto session = makeSession(delegate);
    session->downloadTask(server.url("/big"))->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    EXPECT_EQ(delegate->eventKinds(), (std::vector<std::string>{"write", "finished", "metrics", "complete"}));
    EXPECT_EQ(std::filesystem::file_size(dir / "kept.bin"), 3u * 1024 * 1024);
    EXPECT_EQ(delegate->written, 3 * 1024 * 1024);
}

TEST_F(URLSessionTest, UploadTaskSendsTheBodyAndReportsProgress) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = makeSession(delegate);
    URLRequest request(server.url("/echo"));
    request.setHTTPMethod("POST");
    request.setValue("application/octet-stream", "Content-Type");
    session->uploadTask(request, Data::fromString(std::string(100000, 'u')))->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    ASSERT_EQ(delegate->error, nullptr) << delegate->error->debugDescription();
    EXPECT_EQ(std::dynamic_pointer_cast<const HTTPURLResponse>(delegate->response)->statusCode(), 200);
    EXPECT_EQ(delegate->eventKinds(), (std::vector<std::string>{"sent", "response", "data", "metrics", "complete"}));
    EXPECT_EQ(delegate->data.toString(), "POST 100000 application/octet-stream");
    EXPECT_EQ(delegate->sentTotal, 100000);
    EXPECT_EQ(delegate->sentExpected, 100000);
}

TEST_F(URLSessionTest, StreamedUploadAsksTheDelegateForItsBody) {
    struct Streaming : RecordingDelegate {
        void needNewBodyStream(const URLSessionPtr&, const URLSessionTaskPtr&,
                               std::function<void(InputStreamPtr)> completion) override {
            record("stream");
            completion(InputStream::withData(Data::fromString("streamed body")));
        }
    };
    auto delegate = std::make_shared<Streaming>();
    auto session = makeSession(delegate);
    URLRequest request(server.url("/echo"));
    request.setHTTPMethod("POST");
    request.setValue("text/plain", "Content-Type");
    session->uploadTaskWithStreamedRequest(request)->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    EXPECT_EQ(delegate->eventKinds().front(), "stream");
    EXPECT_EQ(delegate->data.toString(), "POST 13 text/plain");
}

TEST_F(URLSessionTest, RedirectsAreTheDelegatesToDecide) {
    {  // followed: the delegate sees the 302 and the task ends at its target
        auto delegate = std::make_shared<RecordingDelegate>();
        auto session = makeSession(delegate);
        auto task = session->dataTask(server.url("/redirect"));
        task->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(delegate->eventKinds(),
                  (std::vector<std::string>{"redirect 302", "response", "data", "metrics", "complete"}));
        EXPECT_EQ(delegate->data.toString(), "hello world");
        EXPECT_EQ(task->currentRequest()->url()->path(), "/hello");
        EXPECT_EQ(task->originalRequest()->url()->path(), "/redirect");
        EXPECT_EQ(delegate->metrics->transactionMetrics.size(), 2u);
        EXPECT_EQ(delegate->metrics->redirectCount, 1);
    }
    {  // refused: the 302 itself is the answer, with its body
        auto delegate = std::make_shared<RecordingDelegate>();
        delegate->onRedirect = [](auto&, auto&) { return std::nullopt; };
        auto session = makeSession(delegate);
        session->dataTask(server.url("/redirect"))->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(std::dynamic_pointer_cast<const HTTPURLResponse>(delegate->response)->statusCode(), 302);
        EXPECT_EQ(delegate->data.toString(), "moved");
    }
    {  // 303 after a POST continues as a GET without the body
        auto delegate = std::make_shared<RecordingDelegate>();
        std::string method;
        delegate->onRedirect = [&](auto&, const URLRequest& next) {
            method = next.httpMethod();
            EXPECT_FALSE(next.httpBody());
            return std::optional<URLRequest>(next);
        };
        auto session = makeSession(delegate);
        URLRequest request(server.url("/see-other"));
        request.setHTTPMethod("POST");
        request.setHTTPBody(Data::fromString("payload"));
        session->dataTask(request)->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(method, "GET");
        EXPECT_EQ(delegate->data.toString(), "hello world");
    }
}

TEST_F(URLSessionTest, ARequestsOwnCredentialsStayWithItsOrigin) {
    // The request's own Cookie and Authorization follow a redirect within the origin and
    // are dropped on the way to another origin (another port is another origin).
    LocalServer other;
    std::mutex mutex;
    std::vector<std::string> seenByOther;
    other->Get("/show", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        seenByOther.push_back(req.get_header_value("Cookie") + "|" + req.get_header_value("Authorization"));
        res.set_content("other", "text/plain");
    });
    other.start();
    server->Get("/to-other", [&](const httplib::Request&, httplib::Response& res) {
        res.status = 307;
        res.set_header("Location", other.url("/show").absoluteString());
    });
    server->Get("/show-credentials", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.get_header_value("Cookie") + "|" + req.get_header_value("Authorization"), "text/plain");
    });
    server->Get("/to-same", [](const httplib::Request&, httplib::Response& res) {
        res.status = 307;
        res.set_header("Location", "/show-credentials");
    });
    struct Case {
        const char* path;
        std::string expected;
    } cases[] = {{"/to-same", "id=7|Bearer t"}, {"/to-other", "other"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto delegate = std::make_shared<RecordingDelegate>();
        auto session = makeSession(delegate);
        URLRequest request(server.url(c.path));
        request.setValue("id=7", "Cookie");
        request.setValue("Bearer t", "Authorization");
        session->dataTask(request)->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(delegate->data.toString(), c.expected);
    }
    std::lock_guard lock(mutex);
    EXPECT_EQ(seenByOther, std::vector<std::string>{"|"});
}

TEST_F(URLSessionTest, CompletionHandlerFormsDeliverResultsOnce) {
    TempDir dir;
    testing_support::writeFile(dir / "body.bin", std::string(5000, 'f'));
    auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration());
    std::mutex mutex;
    std::condition_variable done;
    int finished = 0;
    std::string body, downloaded, uploaded, fromFile;
    ErrorPtr missingFileError;
    auto finish = [&] {
        std::lock_guard lock(mutex);
        ++finished;
        done.notify_all();
    };
    session
        ->dataTask(URLRequest(server.url("/hello")),
                   [&](std::optional<Data> data, URLResponsePtr r, ErrorPtr e) {
                       EXPECT_FALSE(e);
                       EXPECT_TRUE(std::dynamic_pointer_cast<const HTTPURLResponse>(r));
                       body = data ? data->toString() : "<none>";
                       finish();
                   })
        ->resume();
    session
        ->downloadTask(URLRequest(server.url("/hello")),
                       [&](std::optional<URL> location, URLResponsePtr, ErrorPtr e) {
                           EXPECT_FALSE(e);
                           downloaded = location ? testing_support::readFile(location->path()) : "<none>";
                           finish();
                       })
        ->resume();
    URLRequest post(server.url("/echo"));
    post.setHTTPMethod("POST");
    session
        ->uploadTask(post, Data::fromString("abc"),
                     [&](std::optional<Data> data, URLResponsePtr, ErrorPtr) {
                         uploaded = data ? data->toString() : "<none>";
                         finish();
                     })
        ->resume();
    post.setValue("application/octet-stream", "Content-Type");
    session
        ->uploadTask(post, URL::fileURL((dir / "body.bin").string()),
                     [&](std::optional<Data> data, URLResponsePtr, ErrorPtr) {
                         fromFile = data ? data->toString() : "<none>";
                         finish();
                     })
        ->resume();
    session
        ->uploadTask(post, URL::fileURL((dir / "missing.bin").string()),
                     [&](std::optional<Data> data, URLResponsePtr, ErrorPtr e) {
                         EXPECT_FALSE(data);
                         missingFileError = e;
                         finish();
                     })
        ->resume();
    std::unique_lock lock(mutex);
    ASSERT_TRUE(done.wait_for(lock, std::chrono::seconds(10), [&] { return finished == 5; }));
    EXPECT_EQ(body, "hello world");
    EXPECT_EQ(downloaded, "hello world");
    EXPECT_EQ(uploaded, "POST 3 application/x-www-form-urlencoded");
    EXPECT_EQ(fromFile, "POST 5000 application/octet-stream");
    EXPECT_EQ(errorCode(missingFileError), static_cast<std::int64_t>(URLError::Code::fileDoesNotExist));
}

TEST_F(URLSessionTest, GzipBodiesAreDecoded) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = makeSession(delegate);
    session->dataTask(server.url("/gzip"))->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    EXPECT_EQ(delegate->data.toString(), std::string(1000, 'z') + "end");
}

TEST_F(URLSessionTest, CookiesAreKeptAcrossRequests) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
    auto storage = config.httpCookieStorage;
    auto session = makeSession(delegate, config);
    session->dataTask(server.url("/set-cookie"))->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    ASSERT_EQ(storage->cookies().size(), 1u);
    EXPECT_EQ(storage->cookies()[0].value, "abc123");

    auto second = std::make_shared<RecordingDelegate>();
    auto session2 = makeSession(second, config);
    session2->dataTask(server.url("/show-cookie"))->resume();
    ASSERT_TRUE(second->waitForCompletion());
    EXPECT_EQ(second->data.toString(), "session=abc123");
}

TEST_F(URLSessionTest, AFoldedFieldReachesTheResponseAndTheCookieStoreJoined) {
    ScriptedServer folding([](int fd) {
        ScriptedServer::readHead(fd);
        ScriptedServer::send(fd, "HTTP/1.1 200 OK\r\nX-Folded: one\r\n two\r\nSet-Cookie: id=7;\r\n\tPath=/inner\r\n"
                                 "Content-Length: 2\r\n\r\nok");
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
    auto session = makeSession(delegate, config);
    session->dataTask(folding.url("/"))->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    auto response = std::dynamic_pointer_cast<const HTTPURLResponse>(delegate->response);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->value("X-Folded"), "one two");
    auto cookies = config.httpCookieStorage->cookies();
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_EQ(cookies[0].path, "/inner");
}

TEST_F(URLSessionTest, BasicChallengeIsAnsweredByTheDelegate) {
    auto delegate = std::make_shared<RecordingDelegate>();
    std::vector<int> failureCounts;
    delegate->onChallenge = [&](const URLAuthenticationChallenge& c) {
        failureCounts.push_back(c.previousFailureCount());
        EXPECT_EQ(c.protectionSpace().realm(), "vault");
        auto password = c.previousFailureCount() == 0 ? "wrong" : "secret";
        return std::make_pair(
            URLSessionAuthChallengeDisposition::useCredential,
            std::make_shared<URLCredential>("user", password, URLCredential::Persistence::forSession));
    };
    auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
    auto session = makeSession(delegate, config);
    session->dataTask(server.url("/basic"))->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    EXPECT_EQ(failureCounts, (std::vector<int>{0, 1}));
    EXPECT_EQ(delegate->data.toString(), "welcome");
    EXPECT_EQ(config.urlCredentialStorage->allCredentials().size(), 1u);  // kept after it worked

    // A delegate that gives up gets the 401 itself.
    auto refusing = std::make_shared<RecordingDelegate>();
    refusing->onChallenge = [](const URLAuthenticationChallenge&) {
        return std::make_pair(URLSessionAuthChallengeDisposition::rejectProtectionSpace, URLCredentialPtr());
    };
    auto session2 = makeSession(refusing);
    session2->dataTask(server.url("/basic"))->resume();
    ASSERT_TRUE(refusing->waitForCompletion());
    EXPECT_EQ(std::dynamic_pointer_cast<const HTTPURLResponse>(refusing->response)->statusCode(), 401);
    EXPECT_EQ(refusing->data.toString(), "denied");
}

TEST_F(URLSessionTest, DigestChallengeIsAnsweredFromTheCredentialStore) {
    auto delegate = std::make_shared<RecordingDelegate>();  // default handling: the store is asked
    auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
    config.urlCredentialStorage->setDefaultCredential(
        std::make_shared<URLCredential>("user", "secret", URLCredential::Persistence::forSession),
        URLProtectionSpace("127.0.0.1", server.port(), std::string("http"), std::string("vault"),
                           NSURLAuthenticationMethodHTTPDigest));
    auto session = makeSession(delegate, config);
    session->dataTask(server.url("/digest"))->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    EXPECT_EQ(delegate->events().front(), std::string("challenge ") + NSURLAuthenticationMethodHTTPDigest);
    EXPECT_EQ(delegate->data.toString(), "digest ok 0");

    // With a body, which the authentication round sends again.
    auto poster = std::make_shared<RecordingDelegate>();
    auto session2 = makeSession(poster, config);
    URLRequest post(server.url("/digest"));
    post.setHTTPMethod("POST");
    post.setValue("application/octet-stream", "Content-Type");
    session2->uploadTask(post, Data::fromString(std::string(70000, 'p')))->resume();
    ASSERT_TRUE(poster->waitForCompletion());
    EXPECT_EQ(poster->error, nullptr);
    EXPECT_EQ(poster->data.toString(), "digest ok 70000");
}

TEST_F(URLSessionTest, ResponsesAreOfferedToTheCacheTheDelegateAllows) {
    struct Caching : RecordingDelegate {
        bool allow = true;
        void willCacheResponse(const URLSessionPtr&, const URLSessionDataTaskPtr&, const CachedURLResponsePtr& proposed,
                               std::function<void(CachedURLResponsePtr)> completion) override {
            record("cache " + proposed->data().toString());
            completion(allow ? proposed : nullptr);
        }
    };
    for (bool allow : {true, false}) {
        auto delegate = std::make_shared<Caching>();
        delegate->allow = allow;
        auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
        auto session = makeSession(delegate, config);
        session->dataTask(server.url("/cacheable"))->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(delegate->eventKinds(),
                  (std::vector<std::string>{"response", "data", "cache keep me", "metrics", "complete"}));
        auto cached = config.urlCache->cachedResponse(URLRequest(server.url("/cacheable")));
        EXPECT_EQ(cached != nullptr, allow);
    }
}

TEST_F(URLSessionTest, CancelEndsTasksWithCancelledOnce) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = makeSession(delegate);
    auto never = session->dataTask(server.url("/hello"));
    never->cancel();  // never started
    ASSERT_TRUE(delegate->waitForCompletion());
    EXPECT_EQ(errorCode(delegate->error), NSURLErrorCancelled);
    EXPECT_TRUE(delegate->error->isCancelled());
    EXPECT_EQ(never->state(), URLSessionTask::State::completed);
    never->cancel();
    never->resume();
    auto all = delegate->events();
    EXPECT_EQ(std::count(all.begin(), all.end(), "complete"), 1);
}

TEST_F(URLSessionTest, DelegateOrSessionCanStopATaskMidway) {
    // A server that sends half a body and then waits for the client to go away.
    ScriptedServer stalling([](int fd) {
        ScriptedServer::readHead(fd);
        ScriptedServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf");
        ScriptedServer::waitForClose(fd, 10);
    });
    struct Refusing : RecordingDelegate {
        void didReceiveResponse(const URLSessionPtr& s, const URLSessionDataTaskPtr& t, const URLResponsePtr& r,
                                std::function<void(URLSessionResponseDisposition)> completion) override {
            RecordingDelegate::didReceiveResponse(s, t, r, [](auto) {});
            completion(URLSessionResponseDisposition::cancel);
        }
    };
    {  // the delegate refuses the response: no data, cancelled
        auto delegate = std::make_shared<Refusing>();
        auto session = makeSession(delegate);
        session->dataTask(stalling.url())->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(delegate->eventKinds(), (std::vector<std::string>{"response", "metrics", "complete"}));
        EXPECT_EQ(errorCode(delegate->error), NSURLErrorCancelled);
    }
    {  // the session is invalidated and cancels what runs
        auto delegate = std::make_shared<RecordingDelegate>();
        auto session = makeSession(delegate);
        session->dataTask(stalling.url())->resume();
        ASSERT_TRUE(delegate->waitFor("data"));
        session->invalidateAndCancel();
        ASSERT_TRUE(delegate->waitFor("invalid"));
        EXPECT_EQ(errorCode(delegate->error), NSURLErrorCancelled);
        EXPECT_EQ(delegate->events().back(), "invalid");
    }
}

TEST_F(URLSessionTest, InvalidationWaitsForTasksThenReleasesTheDelegate) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = makeSession(delegate);
    session->dataTask(server.url("/hello"))->resume();
    session->finishTasksAndInvalidate();
    ASSERT_TRUE(delegate->waitFor("invalid"));
    auto events = delegate->events();
    EXPECT_EQ(events.back(), "invalid");
    EXPECT_NE(std::find(events.begin(), events.end(), "complete"), events.end());
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(session->delegate(), nullptr);
}

// No I/O thread may still run when the exit handlers after ours (libcurl's, OpenSSL's)
// free what it used: not that of a session whose last reference dropped in a callback on
// its own I/O thread (it shuts its engine down from that thread, and must still be
// joined), nor that of a session never destroyed.
std::atomic<bool> ioThreadLeftJoinable{false};
std::atomic<int> ioThreadsEnded{0};

struct EndOfThread {
    ~EndOfThread() { ++ioThreadsEnded; }
};

void checkTheIOThreadsAtExit() {
    if (ioThreadLeftJoinable && ioThreadsEnded == 2) return;
    std::fprintf(stderr, "the I/O thread was %s; %d of 2 ended\n", ioThreadLeftJoinable ? "joinable" : "detached",
                 ioThreadsEnded.load());
    std::_Exit(1);
}

bool threadIsJoinable() {
    pthread_attr_t attributes;
    int state = PTHREAD_CREATE_DETACHED;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getdetachstate(&attributes, &state);
        pthread_attr_destroy(&attributes);
    }
    return state == PTHREAD_CREATE_JOINABLE;
}

[[noreturn]] void endOneEngineOnItsThreadKeepAnotherThenExit() {
    // Registered before the engines' own exit handler, so it runs after it.
    std::atexit(checkTheIOThreadsAtExit);
    auto ended = CurlEngine::create(0, [](CURL*, int) {});
    static const NoDestructor<std::shared_ptr<CurlEngine>> kept(CurlEngine::create(0, [](CURL*, int) {}));
    std::promise<void> shutDown, running;
    ended->post([&shutDown, engine = ended.get()] {
        static thread_local EndOfThread endOfThread;
        (void)endOfThread;
        engine->shutdown();
        ioThreadLeftJoinable = threadIsJoinable();
        shutDown.set_value();
    });
    (*kept)->post([&running] {
        static thread_local EndOfThread endOfThread;
        (void)endOfThread;
        running.set_value();
    });
    shutDown.get_future().wait();
    running.get_future().wait();
    ended.reset();
    std::exit(0);
}

TEST(CurlEngineTest, NoIOThreadRunsAfterTheExitHandlers) {
    // In a fresh process, so that no engine registered its exit handler first.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(endOneEngineOnItsThreadKeepAnotherThenExit(), testing::ExitedWithCode(0), "");
}

}  // namespace
