// Shared pieces of the session tests: an in-process HTTP server on 127.0.0.1, waiting
// on the main run loop for a condition, a monitor that records event names, and a
// scripted stand-in for the URL session's end-of-task callbacks.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <sstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Hawser/EventMonitor.h"
#include "Hawser/Session.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/runloop/RunLoop.h"

namespace session_test {

using namespace Hawser;

// A small HTTP/1.1 server on 127.0.0.1: each connection gets one answer from the route
// function and is closed. Enough for the session's exchanges, with no dependencies.
class LocalServer {
public:
    struct Received {
        std::string method, path, body;
        std::map<std::string, std::string> headers;  // names in lower case
    };
    struct Reply {
        int status = 200;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
    };
    using Route = std::function<Reply(const Received&)>;

    explicit LocalServer(Route route) : route_(std::move(route)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
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
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        acceptor_.join();
        std::lock_guard lock(mutex_);
        for (auto& t : workers_) t.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int port() const { return port_; }
    std::vector<Received> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void acceptLoop() {
        while (!stopping_) {
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            std::lock_guard lock(mutex_);
            workers_.emplace_back([this, fd] { serve(fd); });
        }
    }
    void serve(int fd) {
        std::string buffer;
        char chunk[65536];
        std::size_t headerEnd;
        while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return (void)::close(fd);
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        Received in;
        std::istringstream head(buffer.substr(0, headerEnd));
        std::string line;
        std::getline(head, line);
        std::istringstream first(line);
        first >> in.method >> in.path;
        while (std::getline(head, line)) {
            auto colon = line.find(':');
            if (colon == std::string::npos) continue;
            std::string name = line.substr(0, colon), value = line.substr(colon + 1);
            for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            while (!value.empty() && (value.front() == ' ')) value.erase(0, 1);
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
            in.headers[name] = value;
        }
        in.body = buffer.substr(headerEnd + 4);
        std::size_t length = in.headers.count("content-length") ? std::stoul(in.headers["content-length"]) : 0;
        while (in.body.size() < length) {
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            in.body.append(chunk, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(mutex_);
            received_.push_back(in);
        }
        Reply reply = route_(in);
        std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " X\r\nContent-Length: " +
                          std::to_string(reply.body.size()) + "\r\nConnection: close\r\n";
        for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
        out += "\r\n";
        if (in.method != "HEAD") out += reply.body;
        std::size_t sent = 0;
        while (sent < out.size()) {
            ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        ::shutdown(fd, SHUT_WR);
        while (::recv(fd, chunk, sizeof chunk, 0) > 0) {
        }
        ::close(fd);
    }

    Route route_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<std::thread> workers_;
    std::vector<Received> received_;
};

// Runs the main run loop (so main-queue completions run) until `condition` holds.
inline bool waitUntil(const std::function<bool()>& condition, double seconds = 10) {
    return platform::RunLoop::runUntil(condition, seconds);
}

// Every block submitted to the serial `queue` before this call has run.
inline void drain(const DispatchQueuePtr& queue) { queue->sync([] {}); }

// Records the names of the events it sees, in order.
class RecordingMonitor : public EventMonitor {
public:
    DispatchQueuePtr queue() const override { return queue_; }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool saw(const std::string& name) const {
        auto all = events();
        return std::find(all.begin(), all.end(), name) != all.end();
    }

    void requestDidCreateInitialURLRequest(const RequestPtr&, const URLRequest&) override { add("initialURLRequest"); }
    void requestDidCreateURLRequest(const RequestPtr&, const URLRequest&) override { add("urlRequest"); }
    void requestDidCreateTask(const RequestPtr&, const URLSessionTaskPtr&) override { add("task"); }
    void requestDidGatherMetrics(const RequestPtr&, const URLSessionTaskMetricsPtr&) override { add("metrics"); }
    void requestDidCompleteTaskWithError(const RequestPtr&, const URLSessionTaskPtr&,
                                         const std::optional<HWError>&) override {
        add("complete");
    }
    void requestIsRetrying(const RequestPtr&) override { add("retrying"); }
    void requestDidFinish(const RequestPtr&) override { add("finish"); }

private:
    void add(std::string name) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(name));
    }
    DispatchQueuePtr queue_ = platform::DispatchQueue::create("test.recordingMonitor");
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// Plays the URL session's end-of-task callbacks in an order the test chooses, through
// the same delegate queue the real URL session uses. The tasks it is used with are
// never resumed, so the real session never reports them itself.
class ScriptedURLSession {
public:
    explicit ScriptedURLSession(SessionPtr session) : session_(std::move(session)) {}

    void metrics(const platform::URLSessionTaskPtr& task) {
        post([task](const SessionPtr& s) {
            s->delegate->didFinishCollectingMetrics(s->session, task, platform::URLSessionTaskMetrics{});
        });
    }
    void complete(const platform::URLSessionTaskPtr& task, platform::ErrorPtr error = nullptr) {
        post([task, error](const SessionPtr& s) { s->delegate->didCompleteWithError(s->session, task, error); });
    }
    void invalidate(platform::ErrorPtr error = nullptr) {
        post([error](const SessionPtr& s) { s->delegate->didBecomeInvalidWithError(s->session, error); });
    }
    // Waits until every callback posted so far has run.
    void settle() { session_->session->delegateQueue()->waitUntilAllOperationsAreFinished(); }

private:
    void post(std::function<void(const SessionPtr&)> callback) {
        auto session = session_;
        session->session->delegateQueue()->addOperation([session, callback] { callback(session); });
    }
    SessionPtr session_;
};

}  // namespace session_test
