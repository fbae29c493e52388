// One event loop per thread: it fires the thread's timers, serves file-descriptor
// sources and blocks performed on it, and on the main thread also drains the main queue.
#pragma once
#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "platform/base/Date.h"
#include "platform/base/Protected.h"
#include "platform/runloop/Timer.h"

namespace platform {

class RunLoop;
using RunLoopPtr = std::shared_ptr<RunLoop>;

class RunLoop : public std::enable_shared_from_this<RunLoop> {
public:
    // The calling thread's loop, made on first use.
    static RunLoopPtr current();
    // The main thread's loop (callable from any thread).
    static RunLoopPtr main();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Run on the loop's own thread; they may nest (a block or timer may run the loop
    // again). `stop()` ends the innermost running invocation.
    void run();
    // Until `date` passes or `stop()`. Answers false when the date passed.
    bool run(Date untilDate);
    // Waits up to `timeoutSeconds` for something to do, does what is ready, and returns.
    // Answers whether it handled anything (a timer, a source, a block, the main queue).
    bool runOnce(double timeoutSeconds);
    // Callable from any thread.
    void stop();
    bool isRunning() const { return depth_.load() > 0; }

    // Runs the calling thread's loop until `predicate` holds (checked between
    // iterations) or `timeoutSeconds` pass. Answers whether the predicate held.
    static bool runUntil(const std::function<bool()>& predicate, double timeoutSeconds);

    // Calls `callback` on this loop's thread whenever `fd` is ready for `events` (poll
    // flags; readable by default). One source per descriptor; adding again replaces it.
    // Callable from any thread.
    void addSource(int fd, std::function<void()> callback, short events = 0x001 /* POLLIN */);
    // For a descriptor whose owner reads ahead into a buffer of its own (a display
    // connection does): `hasBuffered` is asked before the loop waits, and when it answers
    // true the callback runs without waiting for the descriptor to become ready.
    void addSource(int fd, std::function<void()> callback, std::function<bool()> hasBuffered,
                   short events = 0x001 /* POLLIN */);
    void removeSource(int fd);

    // Adds a timer to this loop (a timer belongs to one loop).
    void add(const TimerPtr& timer);
    // Runs `block` on this loop's thread in its next iteration. Callable from any thread.
    void perform(std::function<void()> block);
    // Interrupts a wait of this loop (from any thread).
    void wakeUp();

private:
    RunLoop();
    bool isMainLoop() const;
    void collectTimers(std::vector<TimerPtr>& out);
    int pollTimeoutMs(double timeoutSeconds);

    friend class RunLoopInternals;

    std::thread::id thread_;
    int wakeFd_ = -1;
    struct Source {
        std::function<void()> callback;
        short events;
        std::uint64_t generation;
        std::function<bool()> hasBuffered;
    };
    struct State {
        std::vector<TimerPtr> timers;
        std::map<int, Source> sources;
        std::uint64_t sourceGeneration = 0;
        std::deque<std::function<void()>> blocks;
    };
    Protected<State> state_;
    std::atomic<int> depth_{0};
    std::atomic<int> stopRequests_{0};
};

// Turns SIGTERM and SIGINT into a call of `handler` (with the signal's number) on the
// main queue. Signals that arrive while a call is pending are folded into it. Calling
// again replaces the handler.
void onTerminationSignal(std::function<void(int signal)> handler);

}  // namespace platform
