// What a task ends with when the network or the server misbehaves: each case is a real
// exchange on 127.0.0.1 that must end with its URL error, never with a success.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <future>

#include "platform/net/URLError.h"
#include "tests/platform/net/NetTestSupport.h"

using namespace platform;
using namespace nettest;

namespace {

using Script = std::function<void(int fd)>;

void replyThenClose(int fd, const std::string& text) {
    ScriptedServer::readHead(fd);
    ScriptedServer::send(fd, text);
}

struct FaultCase {
    std::string name;
    URLError::Code expected;
    // Makes the URL to load; may start a server kept in `keep`.
    std::function<URL(std::vector<std::shared_ptr<void>>& keep)> setUp;
    std::function<void(URLRequest&)> adjust = nullptr;
};

std::shared_ptr<ScriptedServer> scripted(std::vector<std::shared_ptr<void>>& keep, Script script) {
    auto server = std::make_shared<ScriptedServer>(std::move(script));
    keep.push_back(server);
    return server;
}

URL keptTLSServer(std::vector<std::shared_ptr<void>>& keep, const std::string& name) {
    std::shared_ptr<testing_support::LocalHTTPServer> server = tlsServer(name, "secret");
    keep.push_back(server);
    return *URL::parse(server->url("/"));
}

TEST(URLSessionFaults, EachFaultEndsWithItsError) {
    // The test CA plays the system's: only the fault under test makes a certificate fail.
    testing_support::ScopedSystemTrust trust(testing_support::sharedCertificates().path("ca.pem"));
    std::vector<FaultCase> cases = {
        {"unknown host", URLError::Code::cannotFindHost,
         [](auto&) { return *URL::parse("http://no-such-host.invalid/"); }},
        {"refused connection", URLError::Code::cannotConnectToHost,
         [](auto&) {
             int port;
             {
                 ScriptedServer closed([](int) {});
                 port = closed.port();
             }
             return *URL::parse("http://127.0.0.1:" + std::to_string(port) + "/");
         }},
        {"self-signed certificate", URLError::Code::serverCertificateUntrusted,
         [](auto& keep) { return keptTLSServer(keep, "self"); }},
        {"expired certificate", URLError::Code::serverCertificateHasBadDate,
         [](auto& keep) { return keptTLSServer(keep, "expired"); }},
        {"certificate for another host", URLError::Code::serverCertificateUntrusted,
         [](auto& keep) { return keptTLSServer(keep, "other"); }},
        {"close in the middle of the body", URLError::Code::networkConnectionLost,
         [](auto& keep) {
             return scripted(keep,
                             [](int fd) {
                                 replyThenClose(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" +
                                                        std::string(500, 'a'));
                             })
                 ->url();
         }},
        {"server stops sending", URLError::Code::timedOut,
         [](auto& keep) {
             return scripted(keep,
                             [](int fd) {
                                 replyThenClose(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nabc");
                                 ScriptedServer::waitForClose(fd, 10);
                             })
                 ->url();
         },
         [](URLRequest& r) { r.setTimeoutInterval(1); }},
        {"redirect loop", URLError::Code::httpTooManyRedirects,
         [](auto& keep) {
             return scripted(keep,
                             [](int fd) {
                                 while (!ScriptedServer::readHead(fd).empty())
                                     ScriptedServer::send(
                                         fd, "HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n");
                             })
                 ->url();
         }},
        {"oversized header block", URLError::Code::badServerResponse,
         [](auto& keep) {
             return scripted(keep,
                             [](int fd) {
                                 std::string head = "HTTP/1.1 200 OK\r\n";
                                 for (int i = 0; i < 4000; ++i)
                                     head += "X-Filler-" + std::to_string(i) + ": " + std::string(90, 'f') + "\r\n";
                                 replyThenClose(fd, head + "Content-Length: 2\r\n\r\nok");
                             })
                 ->url();
         }},
        {"broken chunked encoding", URLError::Code::networkConnectionLost,
         [](auto& keep) {
             return scripted(
                        keep,
                        [](int fd) {
                            replyThenClose(
                                fd,
                                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\nZZ\r\nbroken\r\n");
                        })
                 ->url();
         }},
        {"header value with a line break", URLError::Code::badURL,
         [](auto& keep) {
             return scripted(keep,
                             [](int fd) {
                                 ADD_FAILURE() << "a request with a smuggled header line reached the server";
                                 replyThenClose(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
                             })
                 ->url();
         },
         [](URLRequest& r) { r.setValue("a\r\nInjected: yes", "X-Note"); }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::shared_ptr<void>> keep;
        URLRequest request(c.setUp(keep));
        request.setTimeoutInterval(10);
        if (c.adjust) c.adjust(request);
        auto delegate = std::make_shared<RecordingDelegate>();
        auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
        auto started = std::chrono::steady_clock::now();
        session->dataTask(request)->resume();
        ASSERT_TRUE(delegate->waitForCompletion(15));
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ASSERT_NE(delegate->error, nullptr);
        EXPECT_EQ(delegate->error->domain(), NSURLErrorDomain);
        EXPECT_EQ(delegate->error->code(), static_cast<std::int64_t>(c.expected))
            << delegate->error->debugDescription();
        EXPECT_LT(seconds, 5.0);
        session->invalidateAndCancel();
    }
}

TEST(URLSessionFaults, TrustedServerAndFailedDownloadLeaveTheRightTraces) {
    testing_support::ScopedSystemTrust trust(testing_support::sharedCertificates().path("ca.pem"));
    std::vector<std::shared_ptr<void>> keep;
    {  // the same setting lets a good certificate through
        auto delegate = std::make_shared<RecordingDelegate>();
        auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
        session->dataTask(keptTLSServer(keep, "server"))->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(delegate->error, nullptr);
        EXPECT_EQ(delegate->data.toString(), "secret");
    }
    {  // a download cut short never reaches its destination
        testing_support::TempDir dir;
        auto delegate = std::make_shared<RecordingDelegate>();
        delegate->moveDownloadTo = (dir / "file.bin").string();
        auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
        auto server = scripted(keep, [](int fd) {
            replyThenClose(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(30000, 'd'));
        });
        session->downloadTask(server->url())->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(errorCode(delegate->error), static_cast<std::int64_t>(URLError::Code::networkConnectionLost));
        auto events = delegate->events();
        EXPECT_EQ(std::find(events.begin(), events.end(), "finished"), events.end());
        EXPECT_FALSE(std::filesystem::exists(dir / "file.bin"));
    }
}

}  // namespace

TEST(URLSessionFaults, AConnectionThatBroughtMoreThanItsLengthIsNotReused) {
    // Each request on the connection gets "ok", the first followed by bytes beyond its
    // announced length: in the same write, or once the client has taken the answer.
    for (bool apart : {false, true}) {
        SCOPED_TRACE(apart ? "extra bytes after the answer was taken" : "extra bytes in the same write");
        std::promise<void> taken, extraSent;
        auto extraWritten = extraSent.get_future();
        std::atomic<bool> answeredOnce{false};
        ScriptedServer server([apart, &taken, &extraSent, &answeredOnce](int fd) {
            while (!ScriptedServer::readHead(fd).empty()) {
                const bool first = !answeredOnce.exchange(true);
                const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
                const std::string extra = "HTTP/1.1 200 OK\r\n\r\n";
                if (first && apart) {
                    ScriptedServer::send(fd, reply);
                    taken.get_future().wait();
                    ScriptedServer::send(fd, extra);
                    extraSent.set_value();
                } else {
                    ScriptedServer::send(fd, first ? reply + extra : reply);
                    if (first) extraSent.set_value();
                }
            }
        });
        auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr);
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            std::promise<ErrorPtr> done;
            session
                ->dataTask(URLRequest(server.url("/")), [&done](const std::optional<Data>&, const URLResponsePtr&,
                                                                const ErrorPtr& error) { done.set_value(error); })
                ->resume();
            auto finished = done.get_future();
            ASSERT_EQ(finished.wait_for(std::chrono::seconds(10)), std::future_status::ready);
            auto error = finished.get();
            EXPECT_EQ(error, nullptr) << error->debugDescription();
            if (round == 0) {
                if (apart) taken.set_value();
                ASSERT_EQ(extraWritten.wait_for(std::chrono::seconds(10)), std::future_status::ready);
            }
        }
        session->invalidateAndCancel();
    }
}
