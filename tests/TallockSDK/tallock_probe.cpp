// A small host of the event-reporting client, started by the crash tests with HOME in a
// temporary folder. Modes:
//   crash <segv|usr1|throw> <failed batches> <buffered events> <dead collector URL>
//   quit <dead collector URL>      leaves undelivered batches and quits normally
//   send <collector URL>           tracks one event and flushes (cached batches go too)
//   race <dead collector URL>      flushes and stores the unsent events from two threads
//                                  at once; exits 0 when both are done, 6 when stuck
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "TallockSDK/NetworkManager.h"
#include "TallockSDK/Tallock.h"
#include "platform/runloop/RunLoop.h"

using namespace TallockSDK;

namespace {

Event event(const std::string& name) { return Event(name, platform::Value::Dictionary{{"n", 1}}, EventError(0, "ok")); }

TallockConfigPtr configFor(const std::string& url, int capacity, int retries) {
    auto config = TallockConfig::create();
    config->ostrelURL = url;
    config->path = "/api/v1/event/report/batch";
    config->logCapacity = capacity;
    config->uploadTimeInterval = 3600;
    config->retryTime = retries;
    config->retryTimeInterval = 0.05;
    config->logLevel = DebugLevel::warning;
    return config;
}

bool failedCountIs(std::size_t n) {
    return platform::RunLoop::runUntil([n] { return Tallock::shared()->networkManager->failedBatches().size() == n; },
                                       10);
}

void flushAndWait() {
    std::atomic<int> calls{0};
    Tallock::flush([&] { ++calls; });
    if (!platform::RunLoop::runUntil([&] { return calls.load() > 0; }, 20)) std::exit(5);
}

int crash(const std::string& how, int failed, int buffered, const std::string& url) {
    Tallock::setup(configFor(url, 2, 0));
    for (int i = 0; i < failed; ++i) {
        for (char half : {'a', 'b'}) {
            std::string name = std::to_string(i);
            name.insert(name.begin(), 'f');
            name.push_back(half);
            Tallock::track(event(name));
        }
        if (!failedCountIs(static_cast<std::size_t>(i + 1))) return 2;
    }
    for (int i = 0; i < buffered; ++i) Tallock::track(event("buffered"));
    if (how == "segv") ::raise(SIGSEGV);
    if (how == "throw") throw std::runtime_error("uncaught");
    std::puts("ready");
    std::fflush(stdout);
    platform::RunLoop::main()->run();  // until SIGUSR1 arrives
    return 3;
}

int quit(const std::string& url) {
    Tallock::setup(configFor(url, 2, 1));
    Tallock::track(event("q1"));
    Tallock::track(event("q2"));
    if (!failedCountIs(1)) return 2;
    Tallock::track(event("q3"));
    flushAndWait();  // q3 fails twice meanwhile
    return 0;
}

int send(const std::string& url) {
    // Before set-up: the event is dropped and the flush ends at once.
    Tallock::track(event("dropped"));
    bool flushed = false;
    Tallock::flush([&] { flushed = true; });
    if (!flushed) return 3;
    auto config = configFor(url, 2, 1);
    Tallock::setup(config);
    Tallock::setup(configFor("http://127.0.0.1:1", 1, 0));  // ignored
    if (Tallock::shared()->_config != config) return 4;
    Tallock::track(event("fresh"));
    flushAndWait();  // delivered, then the cached batches, each as its own request
    return 0;
}

int race(const std::string& url) {
    Tallock::setup(configFor(url, 2, 0));
    std::mutex mutex;
    std::condition_variable changed;
    int done = 0;
    std::atomic<int> started{0};
    auto repeat = [&](void (*step)()) {
        return std::thread([&, step] {
            ++started;
            while (started.load() < 2) {}  // both begin together
            for (int i = 0; i < 200000; ++i) step();
            std::lock_guard lock(mutex);
            ++done;
            changed.notify_all();
        });
    };
    std::thread flusher = repeat([] { Tallock::flush([] {}); });
    std::thread storer = repeat([] { Tallock::storeUnsent(); });
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, std::chrono::seconds(10), [&] { return done == 2; })) std::_Exit(6);
    lock.unlock();
    flusher.join();
    storer.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "crash" && argc == 6) return crash(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5]);
    if (mode == "quit" && argc == 3) return quit(argv[2]);
    if (mode == "send" && argc == 3) return send(argv[2]);
    if (mode == "race" && argc == 3) return race(argv[2]);
    std::fputs("usage: tallock_probe crash|quit|send|race ...\n", stderr);
    return 64;
}
