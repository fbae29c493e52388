// One HTTP/1.1 server on 127.0.0.1 for tests that need a real peer: plain or TLS, one
// request per connection, each connection on its own thread. It records what it
// receives and answers through a handler; a raw mode hands the socket to a script so a
// test can play replies no well-behaved server would send.
#pragma once
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace testing_support {

// Orders header names without regard to case, as HTTP compares them; a stored name
// keeps the spelling the client sent.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class LocalHTTPServer {
public:
    struct Received {
        std::string method, path, body;  // a chunked body arrives decoded
        std::map<std::string, std::string, CaseInsensitiveLess> headers;
    };
    struct Reply {
        Reply(int status = 200, std::string body = "", std::vector<std::pair<std::string, std::string>> headers = {},
              std::vector<std::string> pieces = {})
            : status(status), body(std::move(body)), headers(std::move(headers)), pieces(std::move(pieces)) {}
        int status;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
        // Written after `body`, each its own send, so a client sees them arrive apart.
        std::vector<std::string> pieces;
        // Keeps the answer back until the server is being destroyed, so the request
        // stays in flight meanwhile.
        bool holdUntilStop = false;
    };
    using Handler = std::function<Reply(const Received&)>;
    using Script = std::function<void(int fd)>;

    // Answers "ok" with the status named by a "/status/NNN" path (200 otherwise);
    // "/hold" is held until the server stops.
    static Reply echoReply(const Received& received);

    // With a certificate chain file and key the server speaks TLS.
    explicit LocalHTTPServer(Handler handler = echoReply, const std::string& chainFile = "",
                             const std::string& keyFile = "");
    // Raw mode: `script` gets each accepted socket (closed after it returns) and talks
    // HTTP, or not, itself; nothing is recorded.
    struct Raw {};
    LocalHTTPServer(Raw, Script script);
    ~LocalHTTPServer();
    LocalHTTPServer(const LocalHTTPServer&) = delete;
    LocalHTTPServer& operator=(const LocalHTTPServer&) = delete;
    LocalHTTPServer(LocalHTTPServer&&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    std::vector<Received> received() const;
    int requestCount() const;

    // Helpers for raw scripts: the request head up to the blank line, one write, and
    // waiting until the client closes its end (or `seconds` pass).
    static std::string readHead(int fd);
    static void send(int fd, const std::string& text);
    static void waitForClose(int fd, int seconds);

private:
    void listen();
    void acceptLoop();
    void serve(int fd);

    Handler handler_;
    Script script_;
    SSL_CTX* ctx_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;
    std::vector<std::thread> connections_;
    std::vector<Received> received_;
};

}  // namespace testing_support
