// A local event collector for the client's tests: a server on 127.0.0.1 that records
// every batch posted to it and answers each with the next scripted reply.
#pragma once
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tallock_test {

struct Received {
    std::string path;
    std::string body;
    std::multimap<std::string, std::string> headers;
    std::string header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

struct Reply {
    int status = 204;
    std::string body;
};

class Collector {
public:
    Collector() {
        server_.set_keep_alive_max_count(1);
        server_.Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
            Reply reply;
            {
                std::lock_guard lock(mutex_);
                Received r{request.path, request.body, {}};
                for (const auto& [k, v] : request.headers) r.headers.emplace(k, v);
                received_.push_back(std::move(r));
                if (!script_.empty()) {
                    reply = script_.front();
                    script_.pop_front();
                }
            }
            changed_.notify_all();
            response.status = reply.status;
            if (!reply.body.empty() || reply.status != 204) response.set_content(reply.body, "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::yield();
    }
    ~Collector() {
        server_.stop();
        thread_.join();
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // Replies for the next requests, in order; afterwards 204 with no body.
    void script(std::vector<Reply> replies) {
        std::lock_guard lock(mutex_);
        script_.insert(script_.end(), replies.begin(), replies.end());
    }
    std::vector<Received> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    // Waits until at least `count` requests have arrived.
    bool waitFor(std::size_t count, double seconds = 10) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                                 [&] { return received_.size() >= count; });
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Reply> script_;
    std::vector<Received> received_;
};

// A URL where nothing listens: a port bound and released again.
inline std::string deadURL() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

}  // namespace tallock_test
