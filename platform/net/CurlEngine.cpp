// The libcurl multi loop on its own thread, with SIGPIPE blocked there: a peer that
// closes a socket we write to must not end the process.
#include "platform/net/CurlEngine.h"

#include <csignal>
#include <curl/curl.h>
#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/base/NoDestructor.h"

namespace platform {

namespace {

// I/O threads whose engine was shut down from the thread itself: a thread cannot join
// itself, so it waits here for one that can. Each made engine joins those that have run
// to their end; the exit joins all, before libcurl and OpenSSL free their state.
class EndingThreads {
public:
    static EndingThreads& shared() {
        static NoDestructor<EndingThreads> threads;
        return *threads;
    }

    void add(std::thread thread, std::shared_ptr<const std::atomic<bool>> ended) {
        std::lock_guard lock(mutex_);
        waiting_.push_back({std::move(thread), std::move(ended)});
    }

    void joinEnded() {
        join(take([](const Waiting& waiting) { return waiting.ended->load(std::memory_order_acquire); }));
    }

    void joinAll() {
        join(take([](const Waiting& waiting) { return waiting.thread.get_id() != std::this_thread::get_id(); }));
    }

private:
    struct Waiting {
        std::thread thread;
        std::shared_ptr<const std::atomic<bool>> ended;
    };

    template <class Predicate>
    std::vector<Waiting> take(Predicate ready) {
        std::lock_guard lock(mutex_);
        std::vector<Waiting> taken;
        auto kept = std::partition(waiting_.begin(), waiting_.end(), [&](const Waiting& w) { return !ready(w); });
        std::move(kept, waiting_.end(), std::back_inserter(taken));
        waiting_.erase(kept, waiting_.end());
        return taken;
    }

    static void join(std::vector<Waiting> threads) {
        for (auto& waiting : threads) waiting.thread.join();
    }

    std::mutex mutex_;
    std::vector<Waiting> waiting_;
};

void initializeCurlOnce() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // Registered after libcurl (and through it OpenSSL) set up their own exit-time
        // clean-up, so it runs before them.
        std::atexit([] { EndingThreads::shared().joinAll(); });
        return true;
    }();
    (void)done;
}

}  // namespace

std::shared_ptr<CurlEngine> CurlEngine::create(long maxConnectionsPerHost, DoneHandler onDone) {
    initializeCurlOnce();
    std::shared_ptr<CurlEngine> engine(new CurlEngine());
    engine->multi_ = curl_multi_init();
    engine->onDone_ = std::move(onDone);
    if (maxConnectionsPerHost > 0)
        curl_multi_setopt(engine->multi_, CURLMOPT_MAX_HOST_CONNECTIONS, maxConnectionsPerHost);
    EndingThreads::shared().joinEnded();
    // The thread keeps the engine alive until its loop ends, so the last owner may let go
    // of it from a callback on this very thread.
    engine->thread_ = std::thread([self = engine, ended = engine->threadEnded_]() mutable {
        self->run();
        self.reset();
        ended->store(true, std::memory_order_release);
    });
    return engine;
}

CurlEngine::~CurlEngine() {
    shutdown();
    if (multi_) curl_multi_cleanup(multi_);
}

void CurlEngine::post(std::function<void()> command) {
    bool queued = commands_.write([&](auto& commands) {
        if (stopping_) return false;
        commands.push_back(std::move(command));
        return true;
    });
    if (queued) curl_multi_wakeup(multi_);
}

void CurlEngine::add(CURL* easy) { curl_multi_add_handle(multi_, easy); }
void CurlEngine::remove(CURL* easy) { curl_multi_remove_handle(multi_, easy); }

void CurlEngine::shutdown() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    curl_multi_wakeup(multi_);
    if (isIOThread()) {
        // The loop sees `stopping_` when this call unwinds; another thread joins this one.
        EndingThreads::shared().add(std::move(thread_), threadEnded_);
        return;
    }
    thread_.join();
}

void CurlEngine::run() {
    threadId_ = std::this_thread::get_id();
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    while (!stopping_) {
        auto commands = commands_.write([](auto& waiting) { return std::exchange(waiting, {}); });
        for (auto& command : commands) {
            if (stopping_) break;
            command();
        }
        if (stopping_) break;
        int running = 0;
        curl_multi_perform(multi_, &running);
        int pending = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &pending)) {
            if (msg->msg != CURLMSG_DONE) continue;
            CURL* easy = msg->easy_handle;
            int result = msg->data.result;
            curl_multi_remove_handle(multi_, easy);
            onDone_(easy, result);
            if (stopping_) break;
        }
        if (stopping_) break;
        if (!commands_.read([](const auto& waiting) { return waiting.empty(); })) continue;
        curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
}

}  // namespace platform
