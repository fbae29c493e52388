// Shared pieces of the provider tests: a target whose every property is a field, and a
// local HTTP server that records what it received.
#pragma once
#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Berth/AccessTokenPlugin.h"
#include "Berth/TargetType.h"
#include "platform/runloop/RunLoop.h"

namespace berth_test {

struct FieldTarget : Berth::TargetType, Berth::AccessTokenAuthorizable {
    platform::URL base = *platform::URL::parse("http://example.com/api");
    std::string path_ = "items";
    Berth::HTTPMethod method_ = Berth::HTTPMethod::get;
    platform::Data sample = platform::Data::fromString("sample");
    Berth::Task task_ = Berth::Task::requestPlain();
    Berth::ValidationType validation = Berth::ValidationType::none();
    std::optional<Berth::HeaderFields> headers_;
    std::optional<Berth::AuthorizationType> authorization;
    std::string name = "FieldTarget";

    platform::URL baseURL() const override { return base; }
    std::string path() const override { return path_; }
    Berth::HTTPMethod method() const override { return method_; }
    platform::Data sampleData() const override { return sample; }
    Berth::Task task() const override { return task_; }
    Berth::ValidationType validationType() const override { return validation; }
    std::optional<Berth::HeaderFields> headers() const override { return headers_; }
    std::optional<Berth::AuthorizationType> authorizationType() const override { return authorization; }
    std::string description() const override { return name; }
};

// A server on 127.0.0.1 with a free port; handlers are added before start().
class LocalServer {
public:
    httplib::Server server;

    void start() {
        // One exchange per connection, so stopping never waits out an idle keep-alive.
        server.set_keep_alive_max_count(1);
        port_ = server.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LocalServer() {
        server.stop();
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }
    platform::URL url() const { return *platform::URL::parse("http://127.0.0.1:" + std::to_string(port_)); }

private:
    int port_ = 0;
    std::thread thread_;
};

// Runs the main loop (completions without a queue land there) until `done` holds.
inline bool runMainUntil(const std::function<bool()>& done, double seconds = 10) {
    return platform::RunLoop::runUntil(done, seconds);
}

}  // namespace berth_test
