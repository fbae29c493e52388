// The test HTTP server: a listener on 127.0.0.1, a thread per connection, a small
// request parser and the TLS layer over OpenSSL.
#include "tests/support/LocalHTTPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

namespace testing_support {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return ::strcasecmp(a.c_str(), b.c_str()) < 0;
}

namespace {

// One accepted socket, plain or wrapped in TLS.
struct Connection {
    int fd;
    SSL* ssl = nullptr;
    long read(char* buffer, int size) { return ssl ? SSL_read(ssl, buffer, size) : ::recv(fd, buffer, size, 0); }
    void write(const std::string& text) {
        if (ssl) {
            SSL_write(ssl, text.data(), static_cast<int>(text.size()));
            return;
        }
        std::size_t sent = 0;
        while (sent < text.size()) {
            ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }
    void close() {
        if (ssl) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        } else {
            // Closing with the client's bytes unread would reset the connection and could
            // cost the client the answer, so let the client hang up first.
            ::shutdown(fd, SHUT_WR);
            char buffer[4096];
            while (::recv(fd, buffer, sizeof buffer, 0) > 0) {}
        }
        ::close(fd);
    }
};

std::string trimmed(const std::string& text) {
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(" \t\r") + 1 - start);
}

// Parses one request from `c`; false if the client went away before a whole head.
bool readRequest(Connection& c, LocalHTTPServer::Received& in) {
    std::string data;
    char buffer[16384];
    auto fill = [&]() {
        long n = c.read(buffer, sizeof buffer);
        if (n <= 0) return false;
        data.append(buffer, static_cast<std::size_t>(n));
        return true;
    };
    std::size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos)
        if (!fill()) return false;
    std::string head = data.substr(0, headEnd);
    data.erase(0, headEnd + 4);
    std::size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    in.method = requestLine.substr(0, requestLine.find(' '));
    in.path = requestLine.substr(in.method.size() + 1);
    in.path = in.path.substr(0, in.path.rfind(' '));
    for (std::size_t at = lineEnd; at != std::string::npos && at < head.size();) {
        std::size_t next = head.find("\r\n", at + 2);
        std::string line = head.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
        at = next;
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        in.headers[line.substr(0, colon)] = trimmed(line.substr(colon + 1));
    }
    if (auto it = in.headers.find("content-length"); it != in.headers.end()) {
        std::size_t length = std::stoul(it->second);
        while (data.size() < length)
            if (!fill()) break;
        in.body = data.substr(0, length);
    } else if (auto te = in.headers.find("transfer-encoding"); te != in.headers.end() && te->second == "chunked") {
        while (true) {
            std::size_t crlf;
            while ((crlf = data.find("\r\n")) == std::string::npos)
                if (!fill()) return true;
            std::size_t size = std::stoul(data.substr(0, crlf), nullptr, 16);
            while (data.size() < crlf + 2 + size + 2)
                if (!fill()) return true;
            in.body += data.substr(crlf + 2, size);
            data.erase(0, crlf + 2 + size + 2);
            if (size == 0) break;
        }
    }
    return true;
}

}  // namespace

LocalHTTPServer::Reply LocalHTTPServer::echoReply(const Received& received) {
    Reply reply;
    reply.body = "ok";
    if (received.path.rfind("/status/", 0) == 0) reply.status = std::stoi(received.path.substr(8, 3));
    reply.holdUntilStop = received.path == "/hold";
    return reply;
}

LocalHTTPServer::LocalHTTPServer(Handler handler, const std::string& chainFile, const std::string& keyFile)
    : handler_(std::move(handler)) {
    if (!chainFile.empty()) {
        ctx_ = SSL_CTX_new(TLS_server_method());
        if (SSL_CTX_use_certificate_chain_file(ctx_, chainFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
            SSL_CTX_free(ctx_);
            throw std::runtime_error("bad certificate or key");
        }
    }
    listen();
}

LocalHTTPServer::LocalHTTPServer(Raw, Script script) : script_(std::move(script)) { listen(); }

void LocalHTTPServer::listen() {
    // A client that hangs up early must not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        if (ctx_) SSL_CTX_free(ctx_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LocalHTTPServer::~LocalHTTPServer() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    for (auto& t : connections_) t.join();
    if (ctx_) SSL_CTX_free(ctx_);
}

std::string LocalHTTPServer::url(const std::string& path) const {
    return std::string(ctx_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LocalHTTPServer::Received> LocalHTTPServer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int LocalHTTPServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(received_.size());
}

void LocalHTTPServer::acceptLoop() {
    while (true) {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        std::lock_guard lock(mutex_);
        if (stopped_) {
            ::close(fd);
            return;
        }
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

void LocalHTTPServer::serve(int fd) {
    if (script_) {
        script_(fd);
        ::close(fd);
        return;
    }
    // A client that never sends or never hangs up must not keep the test waiting long.
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    Connection c{fd};
    if (ctx_) {
        c.ssl = SSL_new(ctx_);
        SSL_set_fd(c.ssl, fd);
        if (SSL_accept(c.ssl) != 1) {
            SSL_free(c.ssl);
            ::close(fd);
            return;
        }
    }
    Received in;
    if (!readRequest(c, in)) return c.close();
    Reply reply;
    {
        std::lock_guard lock(mutex_);
        received_.push_back(in);
    }
    reply = handler_(in);
    if (reply.holdUntilStop) {
        std::unique_lock lock(mutex_);
        stopping_.wait(lock, [&] { return stopped_; });
    }
    std::size_t total = reply.body.size();
    for (const auto& piece : reply.pieces) total += piece.size();
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " X\r\n";
    for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
    out += "Content-Length: " + std::to_string(total) + "\r\nConnection: close\r\n\r\n";
    const bool head = in.method == "HEAD";
    if (!head) out += reply.body;
    c.write(out);
    if (!head)
        for (const auto& piece : reply.pieces) c.write(piece);
    c.close();
}

std::string LocalHTTPServer::readHead(int fd) {
    std::string head;
    char c;
    while (head.find("\r\n\r\n") == std::string::npos && ::recv(fd, &c, 1, 0) == 1) head += c;
    return head;
}

void LocalHTTPServer::send(int fd, const std::string& text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

void LocalHTTPServer::waitForClose(int fd, int seconds) {
    timeval tv{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buffer[256];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {}
}

}  // namespace testing_support
