// The worker threads behind the global queues. Internal to the dispatch library.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/base/NoDestructor.h"

namespace platform::detail {

class ThreadPool {
public:
    static ThreadPool& shared();

    void submit(std::function<void()> work);

    // A worker about to block (on a semaphore, a group, a sync) lets the pool start one
    // more thread, so work that would unblock it is not starved of threads.
    static void willBlock();
    static void didUnblock();

private:
    friend class platform::NoDestructor<ThreadPool>;
    ThreadPool();
    void spawnLocked();
    void workerLoop();
    bool shouldSpawnLocked() const;

    std::mutex mutex_;
    std::condition_variable available_;
    std::deque<std::function<void()>> work_;
    int threads_ = 0;
    int idle_ = 0;
    int blocked_ = 0;
    int softLimit_;
};

// Marks a blocking wait for its scope.
class BlockingScope {
public:
    BlockingScope() { ThreadPool::willBlock(); }
    ~BlockingScope() { ThreadPool::didUnblock(); }
    BlockingScope(const BlockingScope&) = delete;
    BlockingScope& operator=(const BlockingScope&) = delete;
};

}  // namespace platform::detail
