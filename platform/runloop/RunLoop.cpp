// The per-thread loop: one poll() over an eventfd (wake-ups) and the registered
// descriptors, with the nearest timer as its timeout.
#include "platform/runloop/RunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <exception>
#include <optional>
#include <string>

#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/Thread.h"

namespace platform {

namespace {

template <class F>
void callOut(F&& f, const char* what) {
    try {
        f();
    } catch (const std::exception& e) {
        fatal(std::string("exception escaped a run-loop ") + what + ": " + e.what());
    } catch (...) {
        fatal(std::string("exception escaped a run-loop ") + what);
    }
}

struct DepthScope {
    std::atomic<int>& depth;
    explicit DepthScope(std::atomic<int>& d) : depth(d) { ++depth; }
    ~DepthScope() { --depth; }
};

}  // namespace

RunLoop::RunLoop() : thread_(std::this_thread::get_id()) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) fatal("eventfd failed for a run loop");
}

RunLoop::~RunLoop() { ::close(wakeFd_); }

RunLoopPtr RunLoop::main() {
    // Never destroyed: other threads may still post to it while the process exits.
    static const NoDestructor<RunLoopPtr> loop(new RunLoop());
    return *loop;
}

RunLoopPtr RunLoop::current() {
    if (Thread::isMainThread()) return main();
    thread_local RunLoopPtr loop;
    if (!loop) loop.reset(new RunLoop());
    return loop;
}

bool RunLoop::isMainLoop() const { return this == main().get(); }

void RunLoop::wakeUp() {
    std::uint64_t one = 1;
    ssize_t written;
    do {
        written = ::write(wakeFd_, &one, sizeof one);
    } while (written < 0 && errno == EINTR);
}

void RunLoop::stop() {
    stopRequests_.store(1);
    wakeUp();
}

void RunLoop::add(const TimerPtr& timer) {
    state_.write([&](State& state) { state.timers.push_back(timer); });
    timer->state_.set(&Timer::State::loop, weak_from_this());
    wakeUp();
}

void RunLoop::perform(std::function<void()> block) {
    state_.write([&](State& state) { state.blocks.push_back(std::move(block)); });
    wakeUp();
}

void RunLoop::addSource(int fd, std::function<void()> callback, short events) {
    addSource(fd, std::move(callback), nullptr, events);
}

void RunLoop::addSource(int fd, std::function<void()> callback, std::function<bool()> hasBuffered, short events) {
    state_.write([&](State& state) {
        state.sources[fd] = Source{std::move(callback), events, ++state.sourceGeneration, std::move(hasBuffered)};
    });
    wakeUp();
}

void RunLoop::removeSource(int fd) {
    // The callback is released after the lock, so whatever it holds is destroyed outside it.
    std::optional<std::function<void()>> released = state_.write([&](State& state) {
        std::optional<std::function<void()>> callback;
        auto found = state.sources.find(fd);
        if (found == state.sources.end()) return callback;
        callback = std::move(found->second.callback);
        state.sources.erase(found);
        return callback;
    });
    if (!released) return;
    wakeUp();
}

void RunLoop::collectTimers(std::vector<TimerPtr>& out) {
    out = state_.write([](State& state) {
        std::erase_if(state.timers, [](const TimerPtr& t) { return !t->isValid(); });
        return state.timers;
    });
}

int RunLoop::pollTimeoutMs(double seconds) {
    if (seconds <= 0) return 0;
    if (std::isinf(seconds) || seconds > INT_MAX / 1000.0) return -1;
    return static_cast<int>(std::ceil(seconds * 1000.0));
}

bool RunLoop::runOnce(double timeoutSeconds) {
    const bool serveMain = isMainLoop();
    // Timers, sources and main-queue blocks belong to the loop's thread.
    if (serveMain ? !Thread::isMainThread() : thread_ != std::this_thread::get_id())
        fatal("a run loop can only be run on its own thread");
    DepthScope depth(depth_);

    std::vector<TimerPtr> timers;
    collectTimers(timers);
    double wait = timeoutSeconds;
    for (auto& timer : timers) wait = std::min(wait, timer->deadline().secondsFromNow());

    std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}};
    std::vector<std::uint64_t> generations{0};
    std::vector<std::function<bool()>> bufferChecks{nullptr};
    state_.read([&](const State& state) {
        if (!state.blocks.empty()) wait = 0;
        for (auto& [fd, source] : state.sources) {
            fds.push_back({fd, source.events, 0});
            generations.push_back(source.generation);
            bufferChecks.push_back(source.hasBuffered);
        }
    });
    // Input already read into a source's own buffer never makes its descriptor ready.
    std::vector<bool> buffered(fds.size(), false);
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (bufferChecks[i] && bufferChecks[i]()) {
            buffered[i] = true;
            wait = 0;
        }
    }
    if (serveMain && DispatchQueue::mainQueueHasWork()) wait = 0;
    if (stopRequests_.load()) wait = 0;

    int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs(wait));
    if (ready < 0 && errno != EINTR) fatal("poll failed in a run loop");
    if (ready > 0 && fds[0].revents) {
        std::uint64_t count;
        while (::read(wakeFd_, &count, sizeof count) > 0) {}
    }

    bool handled = false;
    // Timers, earliest first.
    auto now = DispatchTime::now();
    std::sort(timers.begin(), timers.end(),
              [](const TimerPtr& a, const TimerPtr& b) { return a->deadline() < b->deadline(); });
    for (auto& timer : timers) {
        bool fired = false;
        callOut([&] { fired = timer->fireIfDue(now); }, "timer");
        handled = handled || fired;
    }

    // Sources that are ready and still registered as they were when polled.
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (!(ready > 0 && fds[i].revents) && !buffered[i]) continue;
        auto callback = state_.read([&](const State& state) -> std::optional<std::function<void()>> {
            auto found = state.sources.find(fds[i].fd);
            if (found == state.sources.end() || found->second.generation != generations[i]) return std::nullopt;
            return found->second.callback;
        });
        if (!callback) continue;
        callOut(*callback, "source");
        handled = true;
    }

    auto blocks = state_.write([](State& state) { return std::exchange(state.blocks, {}); });
    for (auto& block : blocks) {
        callOut(block, "block");
        handled = true;
    }

    if (serveMain && DispatchQueue::drainMainQueue() > 0) handled = true;
    return handled;
}

void RunLoop::run() {
    while (!stopRequests_.exchange(0)) runOnce(INFINITY);
}

bool RunLoop::run(Date untilDate) {
    for (;;) {
        if (stopRequests_.exchange(0)) return true;
        double remaining = untilDate.timeIntervalSinceNow();
        if (remaining <= 0) return false;
        runOnce(remaining);
    }
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
    auto loop = current();
    auto deadline = DispatchTime::now() + timeoutSeconds;
    for (;;) {
        if (predicate()) return true;
        double remaining = deadline.secondsFromNow();
        if (remaining <= 0) return false;
        // Short waits: the predicate may turn true from another thread without waking us.
        loop->runOnce(std::min(remaining, 0.005));
    }
}

}  // namespace platform
