// The event buffer and its pool: when batches leave, what they carry, and that every
// instance is back in the pool, blank, after each emptying.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "../support/TempDir.h"
#include "TallockSDK/CacheManager.h"
#include "TallockSDK/LogManager.h"
#include "TallockSDK/LogPool.h"
#include "TallockSDK/NetworkManager.h"
#include "platform/runloop/RunLoop.h"

using namespace TallockSDK;

namespace {

// Stands in for the uploader: keeps each batch as the wire would carry it.
class RecordingUploader : public NetworkManager {
public:
    using NetworkManager::NetworkManager;
    void upload(const std::vector<EventPtr>& events, std::function<void()> completion) override {
        {
            std::lock_guard lock(mutex_);
            batches_.push_back(decodeBatch(encodeBatch(events)));
        }
        if (completion) completion();
    }
    std::vector<std::vector<Event>> batches() {
        std::lock_guard lock(mutex_);
        return batches_;
    }

private:
    std::mutex mutex_;
    std::vector<std::vector<Event>> batches_;
};

class Buffer : public ::testing::Test {
protected:
    void make(int capacity, double interval = 3600) {
        config->logCapacity = capacity;
        config->uploadTimeInterval = interval;
        uploader = std::make_shared<RecordingUploader>(config);
        pool = LogPool::create(*config);
        manager = LogManager::create(*config);
        manager->networkDelegate = uploader;
        manager->logPoolDelegate = pool;
    }
    void TearDown() override {
        if (manager) manager->timer->invalidate();  // it would keep the manager alive
    }
    static Event event(const std::string& name) {
        return Event(name, platform::Value::Dictionary{{"n", 1}}, EventError(0, "ok"));
    }
    std::vector<std::string> names(std::size_t batch) {
        std::vector<std::string> out;
        auto all = uploader->batches();
        for (const auto& e : all.at(batch)) out.push_back(e.name);
        return out;
    }
    // Every instance free and blank, the buffer empty.
    void expectAllReturned() {
        EXPECT_TRUE(manager->uploadLoglist.empty());
        pool->dispatchQueue->sync([&] {
            EXPECT_EQ(pool->items.size(), static_cast<std::size_t>(config->logCapacity));
            for (const auto& item : pool->items) {
                EXPECT_TRUE(item->name.empty());
                EXPECT_FALSE(item->params || item->compatibleParams || item->error.details);
                EXPECT_EQ(item->error.code, 0);
            }
        });
    }

    TallockConfigPtr config = TallockConfig::create();
    std::shared_ptr<RecordingUploader> uploader;
    std::shared_ptr<LogPool> pool;
    std::shared_ptr<LogManager> manager;
};

TEST_F(Buffer, CapacityOneUploadsEachEventBeforePushReturns) {
    make(1);
    for (const char* name : {"a", "b", "c"}) {
        manager->push(event(name));
        expectAllReturned();
    }
    ASSERT_EQ(uploader->batches().size(), 3u);
    EXPECT_EQ(names(2), std::vector<std::string>{"c"});
    EXPECT_EQ(uploader->batches()[0][0].params, (TextMap{{"n", "1"}}));
}

TEST_F(Buffer, CapacityTwoWaitsForTheSecondEventAndCopiesTheCallersEvent) {
    make(2);
    Event first = event("a");
    manager->push(first);
    first.name = "changed after push";
    EXPECT_TRUE(uploader->batches().empty());
    EXPECT_EQ(pool->freeCount(), 1u);
    manager->push(event("b"));
    ASSERT_EQ(uploader->batches().size(), 1u);
    EXPECT_EQ(names(0), (std::vector<std::string>{"a", "b"}));
    expectAllReturned();
}

TEST_F(Buffer, TimerOnTheMainRunLoopEmptiesAPartialBatch) {
    make(2, 0.05);
    manager->push(event("alone"));
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return !uploader->batches().empty(); }, 5));
    EXPECT_EQ(names(0), std::vector<std::string>{"alone"});
    expectAllReturned();
    // Ticks on an empty buffer send nothing.
    manager->timer->fire();
    manager->timer->fire();
    EXPECT_EQ(uploader->batches().size(), 1u);
}

TEST_F(Buffer, PopRunsTheCompletionAtOnceOnlyWhenEmpty) {
    make(2);
    int calls = 0;
    manager->mutex.wait();
    manager->pop([&] { ++calls; });
    manager->mutex.signal();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(uploader->batches().empty());

    manager->push(event("x"));
    manager->mutex.wait();
    manager->pop([&] { ++calls; });  // handed to the uploader with the batch
    manager->mutex.signal();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(names(0), std::vector<std::string>{"x"});
    expectAllReturned();
}

// What a crash stores, read back: the names of every event of every batch.
std::vector<std::string> storedNames(CacheManager& cache) {
    std::vector<std::string> names;
    for (const auto& batch : cache.readCachedLogs().value_or(std::vector<platform::Data>{}))
        for (const auto& e : decodeBatch(batch)) names.push_back(e.name);
    return names;
}

// A buffer of 2 whose uploader has no collector (every batch lands in the failed set), and
// the cache a crash stores them in.
struct CrashStoreSetUp {
    CrashStoreSetUp() {
        config->logCapacity = 2;
        config->uploadTimeInterval = 3600;
        manager->networkDelegate = uploader;
        manager->logPoolDelegate = pool;
        cache.cacheDelegates = {uploader, manager};
    }
    ~CrashStoreSetUp() { manager->timer->invalidate(); }

    testing_support::TempDir dir;
    TallockConfigPtr config = TallockConfig::create();
    std::shared_ptr<NetworkManager> uploader = NetworkManager::create(config);
    std::shared_ptr<LogPool> pool = LogPool::create(*config);
    std::shared_ptr<LogManager> manager = LogManager::create(*config);
    CacheManager cache{(dir / "StoredLogs.plist").string()};
};

// A crash stores while another thread keeps filling and emptying the buffer: every store
// writes its file with whole events only.
TEST(CrashStore, RacingAPushingThreadWritesItsFile) {
    CrashStoreSetUp setUp;
    auto& [dir, config, uploader, pool, manager, cache] = setUp;
    for (int i = 0; i < 2; ++i) manager->push(Event("e", TextMap{}, EventError()));
    uploader->requestQueue->sync([] {});  // the first batch is in the failed set

    std::atomic<bool> stop{false};
    std::thread pusher([&] {
        while (!stop.load()) manager->push(Event("e", TextMap{}, EventError()));
    });
    std::string fault;
    for (int i = 0; i < 300 && fault.empty(); ++i) {
        cache.cacheData.clear();
        cache.storeLogs();
        auto names = storedNames(cache);
        if (names.empty()) fault = "no file at store " + std::to_string(i);
        for (const auto& name : names)
            if (name != "e") fault = "an event named \"" + name + "\" at store " + std::to_string(i);
    }
    stop.store(true);
    pusher.join();
    EXPECT_EQ(fault, "");
    uploader->requestQueue->sync([] {});
}

// The crashed thread holds a source's lock and never lets go: the store still ends, reads
// nothing of that source (it may be stopped in the middle of a change), and keeps what an
// earlier write left in the file, as that source may have held it; each batch once. A store
// that read every source replaces the file.
TEST(CrashStore, ASourceWhoseLockTheCrashedThreadHoldsIsNotReadAndTheFileKeepsWhatItHeld) {
    struct Case {
        const char* held;                  // "buffer", "uploader" or ""
        std::vector<std::string> earlier;  // the events of the batch already in the file
        std::vector<std::string> stored;
    } cases[] = {
        {"buffer", {}, {"failed", "failed"}},
        {"uploader", {}, {"buffered"}},
        {"uploader", {"earlier"}, {"earlier", "buffered"}},
        {"buffer", {"failed", "failed"}, {"failed", "failed"}},
        {"", {"earlier"}, {"failed", "failed", "buffered"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("held: ") + c.held + ", earlier: " + std::to_string(c.earlier.size()));
        CrashStoreSetUp setUp;
        auto& [dir, config, uploader, pool, manager, cache] = setUp;
        for (const char* name : {"failed", "failed", "buffered"}) manager->push(Event(name, TextMap{}, EventError()));
        uploader->requestQueue->sync([] {});
        if (!c.earlier.empty()) {
            std::vector<Event> events;
            for (const auto& name : c.earlier) events.emplace_back(name, TextMap{}, EventError());
            ASSERT_TRUE(cache.write({encodeBatch(events)}));
        }
        const std::string held = c.held;
        platform::DispatchSemaphore* lock = held == "buffer"     ? &manager->mutex
                                            : held == "uploader" ? &uploader->mutex
                                                                 : nullptr;
        if (lock) lock->wait();  // as a thread that crashed holding it would
        cache.storeLogs();
        if (lock) lock->signal();
        EXPECT_EQ(storedNames(cache), c.stored);
    }
}

TEST(LogPoolTest, LendsOnlyWhatItHas) {
    LogPool pool(1);
    EventPtr lent = pool.get(Event("a", TextMap{}, EventError(3, "m")));
    ASSERT_TRUE(lent);
    EXPECT_EQ(lent->error.code, 3);
    EXPECT_EQ(pool.get(Event()), nullptr);  // a try, not a wait
    pool.dispatchQueue->sync([&] { pool.returnInstance(lent); });
    EXPECT_TRUE(lent->name.empty());
    EXPECT_TRUE(pool.get(Event("b", TextMap{}, EventError())));
}

TEST(LogManagerDeathTest, MissingUploaderIsFatal) {
    auto config = TallockConfig::create();
    auto pool = LogPool::create(*config);
    auto manager = std::make_shared<LogManager>(1);
    manager->logPoolDelegate = pool;
    EXPECT_DEATH(manager->push(Event()), "Error\\[LogManager\\]: No networkDelegate is initiallized");
}

}  // namespace
