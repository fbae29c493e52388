// A tiny HTTP/1.1 server on 127.0.0.1 for the request tests: it records the method,
// header fields and body of each request and answers "ok"; "/hold" answers only when
// the server stops, so that a task stays running meanwhile, and "/status/NNN" answers
// with that status. One connection at a time.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace request_test {

class EchoServer {
public:
    struct Received {
        std::string method, path, body;
        std::map<std::string, std::string> headers;  // names as sent
    };

    EchoServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 8);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~EchoServer() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        stopped_.notify_all();
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::vector<Received> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void serve() {
        for (;;) {
            int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            handle(client);
            ::close(client);
        }
    }

    void handle(int client) {
        std::string buffer;
        char chunk[4096];
        std::size_t headerEnd;
        while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            ssize_t n = ::read(client, chunk, sizeof chunk);
            if (n <= 0) return;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        Received r;
        std::size_t lineEnd = buffer.find("\r\n");
        std::string requestLine = buffer.substr(0, lineEnd);
        r.method = requestLine.substr(0, requestLine.find(' '));
        r.path = requestLine.substr(r.method.size() + 1, requestLine.rfind(' ') - r.method.size() - 1);
        std::size_t contentLength = 0;
        for (std::size_t at = lineEnd + 2; at < headerEnd;) {
            std::size_t end = buffer.find("\r\n", at);
            std::string line = buffer.substr(at, end - at);
            at = end + 2;
            std::size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            std::size_t valueStart = line.find_first_not_of(' ', colon + 1);
            std::string value = valueStart == std::string::npos ? "" : line.substr(valueStart);
            r.headers[name] = value;
            if (strcasecmp(name.c_str(), "Content-Length") == 0) contentLength = std::stoul(value);
        }
        r.body = buffer.substr(headerEnd + 4);
        while (r.body.size() < contentLength) {
            ssize_t n = ::read(client, chunk, sizeof chunk);
            if (n <= 0) break;
            r.body.append(chunk, static_cast<std::size_t>(n));
        }
        {
            std::unique_lock lock(mutex_);
            received_.push_back(r);
            if (r.path == "/hold") stopped_.wait(lock, [&] { return stopping_; });
        }
        std::string status = r.path.rfind("/status/", 0) == 0 ? r.path.substr(8, 3) : "200";
        const std::string answer = "HTTP/1.1 " + status + " X\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        (void)!::write(client, answer.data(), answer.size());
    }

    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::vector<Received> received_;
};

}  // namespace request_test
