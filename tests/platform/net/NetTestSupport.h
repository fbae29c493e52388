// Shared pieces of the URL-loading tests: local HTTP and TLS servers, a raw socket server
// that plays a scripted answer, and a delegate that records its calls.
#pragma once
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/crypto/WrittenFileDigests.h"
#include "platform/net/URLSession.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

namespace nettest {

using namespace platform;

// An in-process HTTP server on 127.0.0.1 with a port of its own.
class LocalServer {
public:
    LocalServer() : server_(std::make_unique<httplib::Server>()) {}
    ~LocalServer() { stop(); }

    httplib::Server& operator*() { return *server_; }
    httplib::Server* operator->() { return server_.get(); }

    void start() {
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        // A stop() before the accept loop runs would be lost, so wait for it to run.
        while (!server_->is_running()) std::this_thread::yield();
    }
    void stop() {
        if (thread_.joinable()) {
            server_->stop();
            thread_.join();
        }
    }
    int port() const { return port_; }
    URL url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return *URL::parse("http://" + host + ":" + std::to_string(port_) + path);
    }

private:
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::thread thread_;
};

// Accepts connections on 127.0.0.1 and hands each socket to `script` on its own thread;
// readHead, send and waitForClose help a script play its part.
class ScriptedServer : public testing_support::LocalHTTPServer {
public:
    explicit ScriptedServer(Script script) : LocalHTTPServer(Raw{}, std::move(script)) {}
    URL url(const std::string& path = "/") const { return *URL::parse(LocalHTTPServer::url(path)); }
};

// A TLS server presenting certificate `name` of the shared test set, answering every
// request with `body`.
inline std::unique_ptr<testing_support::LocalHTTPServer> tlsServer(const std::string& name, const std::string& body) {
    return testing_support::sharedCertificates().tlsServer(
        name, [body](const testing_support::LocalHTTPServer::Received&) {
            return testing_support::LocalHTTPServer::Reply(200, body);
        });
}

// Records every delegate call as a line, in order, and can answer challenges and
// redirects as a test sets it up.
class RecordingDelegate : public URLSessionDelegate {
public:
    std::function<std::optional<URLRequest>(const HTTPURLResponsePtr&, const URLRequest&)> onRedirect;
    std::function<std::pair<URLSessionAuthChallengeDisposition, URLCredentialPtr>(const URLAuthenticationChallenge&)>
        onChallenge;
    std::string moveDownloadTo;  // where a finished download is moved (its MD5 following), if set
    Data data;
    std::optional<URLSessionTaskMetrics> metrics;
    ErrorPtr error;
    URLResponsePtr response;

    void record(const std::string& line) {
        std::lock_guard lock(mutex_);
        events_.push_back(line);
        changed_.notify_all();
    }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The events with repeated consecutive entries folded into one.
    std::vector<std::string> eventKinds() const {
        std::vector<std::string> out;
        for (auto& e : events())
            if (out.empty() || out.back() != e) out.push_back(e);
        return out;
    }
    bool waitFor(const std::string& line, double seconds = 10) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                                 [&] { return std::find(events_.begin(), events_.end(), line) != events_.end(); });
    }
    bool waitForCompletion(double seconds = 10) { return waitFor("complete", seconds); }
    bool waitForWritten(std::int64_t bytes, double seconds = 10) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return written >= bytes; });
    }

    void didReceiveChallenge(const URLSessionPtr&, const URLSessionTaskPtr&, const URLAuthenticationChallengePtr& c,
                             ChallengeCompletionHandler completion) override {
        record("challenge " + c->protectionSpace().authenticationMethod());
        if (onChallenge) {
            auto [d, credential] = onChallenge(*c);
            return completion(d, credential);
        }
        completion(URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr);
    }
    void didSendBodyData(const URLSessionPtr&, const URLSessionTaskPtr&, std::int64_t, std::int64_t total,
                         std::int64_t expected) override {
        record("sent");
        std::lock_guard lock(mutex_);
        sentTotal = total;
        sentExpected = expected;
    }
    void willPerformHTTPRedirection(const URLSessionPtr&, const URLSessionTaskPtr&, const HTTPURLResponsePtr& r,
                                    const URLRequest& next,
                                    std::function<void(std::optional<URLRequest>)> completion) override {
        record("redirect " + std::to_string(r->statusCode()));
        completion(onRedirect ? onRedirect(r, next) : std::optional<URLRequest>(next));
    }
    void didFinishCollectingMetrics(const URLSessionPtr&, const URLSessionTaskPtr&,
                                    const URLSessionTaskMetrics& m) override {
        {
            std::lock_guard lock(mutex_);
            metrics = m;
        }
        record("metrics");
    }
    void didCompleteWithError(const URLSessionPtr&, const URLSessionTaskPtr& task, const ErrorPtr& e) override {
        {
            std::lock_guard lock(mutex_);
            error = e;
            response = task->response();
        }
        record("complete");
    }
    void didReceiveResponse(const URLSessionPtr&, const URLSessionDataTaskPtr&, const URLResponsePtr& r,
                            std::function<void(URLSessionResponseDisposition)> completion) override {
        {
            std::lock_guard lock(mutex_);
            response = r;
        }
        record("response");
        completion(URLSessionResponseDisposition::allow);
    }
    void didReceiveData(const URLSessionPtr&, const URLSessionDataTaskPtr&, const Data& chunk) override {
        {
            std::lock_guard lock(mutex_);
            data.append(chunk);
        }
        record("data");
    }
    void didResumeAtOffset(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, std::int64_t offset,
                           std::int64_t total) override {
        record("resumed " + std::to_string(offset) + "/" + std::to_string(total));
    }
    void didWriteData(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, std::int64_t, std::int64_t total,
                      std::int64_t) override {
        {
            std::lock_guard lock(mutex_);
            written = total;
        }
        record("write");
    }
    void didFinishDownloadingTo(const URLSessionPtr&, const URLSessionDownloadTaskPtr&, const URL& location) override {
        if (!moveDownloadTo.empty())
            moveFollowingWrittenDigest(location.path(), moveDownloadTo,
                                       [&] { std::filesystem::rename(location.path(), moveDownloadTo); });
        record("finished");
    }
    void didBecomeInvalidWithError(const URLSessionPtr&, const ErrorPtr&) override { record("invalid"); }

    std::int64_t written = 0, sentTotal = 0, sentExpected = 0;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

inline std::int64_t errorCode(const ErrorPtr& e) { return e ? e->code() : 0; }

}  // namespace nettest
