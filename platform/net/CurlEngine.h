// One I/O thread running a libcurl multi handle: transfers are added and removed and
// commands run on that thread only; other threads hand work to it with `post`.
#pragma once
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

#include "platform/base/Protected.h"

typedef void CURL;
typedef void CURLM;

namespace platform {

class CurlEngine : public std::enable_shared_from_this<CurlEngine> {
public:
    // Called on the I/O thread when a transfer ends, with its libcurl result.
    using DoneHandler = std::function<void(CURL*, int result)>;

    static std::shared_ptr<CurlEngine> create(long maxConnectionsPerHost, DoneHandler onDone);
    ~CurlEngine();

    // Runs `command` on the I/O thread (in submission order).
    void post(std::function<void()> command);
    bool isIOThread() const { return std::this_thread::get_id() == threadId_; }
    // I/O thread only.
    void add(CURL* easy);
    void remove(CURL* easy);
    // Stops the thread and joins it; transfers still added are removed. Safe from the I/O
    // thread, which then is joined by the next engine made or at the latest at exit (where
    // the threads of engines never shut down are stopped and joined too).
    void shutdown();
    // Ends the loop soon, without waiting for it. Safe from any thread.
    void stop();
    // The loop has been asked to end: a wait on the I/O thread gives up.
    bool isStopping() const { return stopping_; }

    struct IOThread;

private:
    CurlEngine() = default;
    void run();

    CURLM* multi_ = nullptr;
    DoneHandler onDone_;
    std::shared_ptr<IOThread> thread_;
    std::atomic<std::thread::id> threadId_{};
    Protected<std::deque<std::function<void()>>> commands_;
    std::atomic<bool> stopping_{false};
};

}  // namespace platform
