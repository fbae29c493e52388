// A growing pool of worker threads: it starts threads while work outnumbers idle workers,
// up to a limit that rises by one for every worker that is blocked waiting.
#include "platform/dispatch/ThreadPool.h"

#include "platform/base/NoDestructor.h"

#include <algorithm>
#include <thread>

namespace platform::detail {

namespace {
thread_local bool isWorker = false;
constexpr int kHardLimit = 512;
}  // namespace

ThreadPool& ThreadPool::shared() {
    // Never destroyed: workers may still run while the process exits.
    static NoDestructor<ThreadPool> pool;
    return *pool;
}

ThreadPool::ThreadPool() { softLimit_ = std::max(4, static_cast<int>(std::thread::hardware_concurrency()) * 2); }

bool ThreadPool::shouldSpawnLocked() const {
    return static_cast<int>(work_.size()) > idle_ && threads_ - blocked_ < softLimit_ && threads_ < kHardLimit;
}

void ThreadPool::submit(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    work_.push_back(std::move(work));
    if (shouldSpawnLocked()) spawnLocked();
    else available_.notify_one();
}

void ThreadPool::spawnLocked() {
    ++threads_;
    std::thread([this] { workerLoop(); }).detach();
}

void ThreadPool::workerLoop() {
    isWorker = true;
    std::unique_lock lock(mutex_);
    for (;;) {
        while (work_.empty()) {
            ++idle_;
            available_.wait(lock);
            --idle_;
        }
        auto work = std::move(work_.front());
        work_.pop_front();
        lock.unlock();
        work();
        work = nullptr;  // captured state is released outside the lock
        lock.lock();
    }
}

void ThreadPool::willBlock() {
    if (!isWorker) return;
    auto& pool = shared();
    std::lock_guard lock(pool.mutex_);
    ++pool.blocked_;
    if (pool.shouldSpawnLocked()) pool.spawnLocked();
}

void ThreadPool::didUnblock() {
    if (!isWorker) return;
    auto& pool = shared();
    std::lock_guard lock(pool.mutex_);
    --pool.blocked_;
}

}  // namespace platform::detail
