// A small HTTP/1.1 server on 127.0.0.1 inside the test program (plain or TLS over
// OpenSSL, one request per connection), and waiting for a request to finish.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Hawser/Request.h"

namespace server_support {

struct HTTPExchange {
    std::string method, path;
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;
};
struct HTTPReply {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    // Written one piece at a time, each its own send.
    std::vector<std::string> pieces;
};
using Handler = std::function<HTTPReply(const HTTPExchange&)>;

class LocalServer {
public:
    // With a certificate chain file and key the server speaks TLS.
    explicit LocalServer(Handler handler, std::string chainFile = "", std::string keyFile = "")
        : handler_(std::move(handler)) {
        // A client that hangs up early must not end the test program.
        std::signal(SIGPIPE, SIG_IGN);
        if (!chainFile.empty()) {
            ctx_ = SSL_CTX_new(TLS_server_method());
            if (SSL_CTX_use_certificate_chain_file(ctx_, chainFile.c_str()) != 1 ||
                SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
                throw std::runtime_error("bad certificate or key");
        }
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 16);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~LocalServer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        acceptor_.join();
        std::vector<std::thread> connections;
        {
            std::lock_guard lock(mutex_);
            connections.swap(connections_);
        }
        for (auto& t : connections) t.join();
        if (ctx_) SSL_CTX_free(ctx_);
    }
    std::string url(const std::string& path) const {
        return std::string(ctx_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
    }
    int requestCount() const {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    struct Connection {
        int fd;
        SSL* ssl = nullptr;
        long read(char* buffer, int size) { return ssl ? SSL_read(ssl, buffer, size) : ::recv(fd, buffer, size, 0); }
        void write(const std::string& text) {
            if (ssl) SSL_write(ssl, text.data(), static_cast<int>(text.size()));
            else ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        }
    };

    void acceptLoop() {
        while (true) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            std::lock_guard lock(mutex_);
            connections_.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
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
            if (!fill()) return finish(c);
        HTTPExchange exchange;
        std::string head = data.substr(0, headEnd);
        data.erase(0, headEnd + 4);
        std::size_t lineEnd = head.find("\r\n");
        std::string requestLine = head.substr(0, lineEnd);
        exchange.method = requestLine.substr(0, requestLine.find(' '));
        exchange.path = requestLine.substr(exchange.method.size() + 1);
        exchange.path = exchange.path.substr(0, exchange.path.rfind(' '));
        std::size_t pos = lineEnd;
        while (pos != std::string::npos && pos < head.size()) {
            std::size_t next = head.find("\r\n", pos + 2);
            std::string line = head.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
            if (auto colon = line.find(':'); colon != std::string::npos) {
                std::string name = line.substr(0, colon);
                std::transform(name.begin(), name.end(), name.begin(), ::tolower);
                exchange.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
            }
            pos = next;
        }
        if (auto it = exchange.headers.find("content-length"); it != exchange.headers.end()) {
            std::size_t length = std::stoul(it->second);
            while (data.size() < length)
                if (!fill()) break;
            exchange.body = data.substr(0, length);
        } else if (exchange.headers["transfer-encoding"] == "chunked") {
            while (true) {
                std::size_t crlf;
                while ((crlf = data.find("\r\n")) == std::string::npos)
                    if (!fill()) return finish(c);
                std::size_t size = std::stoul(data.substr(0, crlf), nullptr, 16);
                while (data.size() < crlf + 2 + size + 2)
                    if (!fill()) return finish(c);
                exchange.body += data.substr(crlf + 2, size);
                data.erase(0, crlf + 2 + size + 2);
                if (size == 0) break;
            }
        }
        {
            std::lock_guard lock(mutex_);
            ++count_;
        }
        HTTPReply reply = handler_(exchange);
        std::size_t total = 0;
        for (const auto& p : reply.pieces) total += p.size();
        std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " X\r\n";
        for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
        out += "Content-Length: " + std::to_string(total) + "\r\nConnection: close\r\n\r\n";
        c.write(out);
        for (const auto& piece : reply.pieces) c.write(piece);
        finish(c);
    }
    void finish(Connection& c) {
        if (c.ssl) {
            SSL_shutdown(c.ssl);
            SSL_free(c.ssl);
        }
        ::close(c.fd);
    }

    Handler handler_;
    SSL_CTX* ctx_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    int count_ = 0;
};

// True once the request has finished (false after `seconds`).
inline bool waitForFinish(const std::shared_ptr<Hawser::Request>& request, double seconds = 10) {
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    request->onFinish([state] {
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->changed.notify_all();
    });
    std::unique_lock lock(state->mutex);
    return state->changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return state->done; });
}

}  // namespace server_support
