// The libcurl multi loop on its own thread, with SIGPIPE blocked there: a peer that
// closes a socket we write to must not end the process.
#include "platform/net/CurlEngine.h"

#include <csignal>
#include <curl/curl.h>
#include <pthread.h>

#include <utility>

namespace platform {

namespace {
void initializeCurlOnce() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
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
    // The thread keeps the engine alive until its loop ends, so the last owner may let go
    // of it from a callback on this very thread.
    engine->thread_ = std::thread([self = engine]() mutable {
        self->run();
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

void CurlEngine::shutdown() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    curl_multi_wakeup(multi_);
    if (isIOThread()) {
        thread_.detach();  // the loop sees `stopping_` when this call unwinds, or has ended
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
