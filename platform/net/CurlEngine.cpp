// The libcurl multi loop on its own thread, with SIGPIPE blocked there: a peer that
// closes a socket we write to must not end the process.
#include "platform/net/CurlEngine.h"

#include <csignal>
#include <curl/curl.h>
#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/base/NoDestructor.h"

namespace platform {

// One engine's thread, joined once by whoever comes first: the engine's owner, the next
// engine made (for a thread that shut its own engine down, which cannot join itself) or
// the exit. A later joiner waits for the first to finish.
struct CurlEngine::IOThread {
    std::mutex joining;
    std::thread thread;
    CurlEngine* engine = nullptr;  // while the loop runs; under the list's lock
    bool loopEnded = false;        // under the list's lock

    void join() {
        std::lock_guard lock(joining);
        if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
    }

    // Only a thread that exits the process from its own loop is still unjoined here.
    ~IOThread() {
        if (thread.joinable()) thread.detach();
    }
};

namespace {

// Every engine thread not yet joined. At exit the loops still running are stopped (also
// those of sessions never destroyed) and every thread is joined, before libcurl and
// OpenSSL free their state.
class IOThreads {
public:
    using Thread = std::shared_ptr<CurlEngine::IOThread>;

    static IOThreads& shared() {
        static NoDestructor<IOThreads> threads;
        return *threads;
    }

    void add(const Thread& thread) {
        std::lock_guard lock(mutex_);
        threads_.push_back(thread);
    }

    // Called by the thread before it lets go of its engine.
    void loopEnded(CurlEngine::IOThread& thread) {
        std::lock_guard lock(mutex_);
        thread.loopEnded = true;
        thread.engine = nullptr;
    }

    void join(const Thread& thread) {
        thread->join();
        std::lock_guard lock(mutex_);
        threads_.erase(std::remove(threads_.begin(), threads_.end(), thread), threads_.end());
    }

    void joinThoseWhoseLoopEnded() {
        join(take([](const Thread& thread) { return thread->loopEnded; }));
    }

    void stopAndJoinAll() {
        join(take([](const Thread& thread) {
            if (thread->engine) thread->engine->stop();
            return true;
        }));
    }

private:
    template <class Predicate>
    std::vector<Thread> take(Predicate chosen) {
        std::lock_guard lock(mutex_);
        auto kept = std::partition(threads_.begin(), threads_.end(), [&](const Thread& t) { return !chosen(t); });
        std::vector<Thread> taken(kept, threads_.end());
        threads_.erase(kept, threads_.end());
        return taken;
    }

    static void join(const std::vector<Thread>& threads) {
        for (const auto& thread : threads) thread->join();
    }

    std::mutex mutex_;
    std::vector<Thread> threads_;
};

void initializeCurlOnce() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // Registered after libcurl (and through it OpenSSL) set up their own exit-time
        // clean-up, so it runs before them.
        std::atexit([] { IOThreads::shared().stopAndJoinAll(); });
        return true;
    }();
    (void)done;
}

}  // namespace

std::shared_ptr<CurlEngine> CurlEngine::create(long maxConnectionsPerHost, DoneHandler onDone) {
    initializeCurlOnce();
    IOThreads::shared().joinThoseWhoseLoopEnded();
    std::shared_ptr<CurlEngine> engine(new CurlEngine());
    engine->multi_ = curl_multi_init();
    engine->onDone_ = std::move(onDone);
    if (maxConnectionsPerHost > 0)
        curl_multi_setopt(engine->multi_, CURLMOPT_MAX_HOST_CONNECTIONS, maxConnectionsPerHost);
    auto slot = std::make_shared<IOThread>();
    slot->engine = engine.get();
    engine->thread_ = slot;
    // Listed before it starts, and no joiner gets at it before it is there.
    std::lock_guard starting(slot->joining);
    IOThreads::shared().add(slot);
    // The thread keeps the engine alive until its loop ends, so the last owner may let go
    // of it from a callback on this very thread.
    slot->thread = std::thread([self = engine, &slot = *slot]() mutable {
        self->run();
        IOThreads::shared().loopEnded(slot);
        self.reset();
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

void CurlEngine::stop() {
    stopping_ = true;
    curl_multi_wakeup(multi_);
}

void CurlEngine::shutdown() {
    stop();
    // On the I/O thread the loop sees `stopping_` when this call unwinds; the thread is
    // joined by the next engine made or at exit.
    if (!isIOThread()) IOThreads::shared().join(thread_);
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
