// The facade: set-up creates and wires the managers in a fixed order; track and flush
// hand over to the buffer. Locks are taken in one order only: the buffer's `mutex`, then
// the cache writes, then the uploader's `mutex` (an empty flush runs its completion,
// which writes the cache file, while it holds the buffer's lock).
#include "TallockSDK/Tallock.h"

#include <cstdio>

#include "TallockSDK/CacheManager.h"
#include "TallockSDK/CrashMonitor.h"
#include "TallockSDK/LogManager.h"
#include "TallockSDK/LogPool.h"
#include "TallockSDK/NetworkManager.h"
#include "platform/base/NoDestructor.h"
#include "platform/foundation/UUID.h"

namespace TallockSDK {

const std::shared_ptr<Tallock>& Tallock::shared() {
    static const platform::NoDestructor<std::shared_ptr<Tallock>> instance(std::make_shared<Tallock>());
    return *instance;
}

Tallock::Tallock() : _session_id(platform::UUID().uuidString()) {}

bool Tallock::isSetUp() const { return setUp_.load(); }

void Tallock::setup(TallockConfigPtr config) {
    Tallock& self = *shared();
    std::lock_guard lock(self.setupMutex_);
    if (self.setUp_.load()) {
        // A second set of managers would leave the first one's timer and crash delegate behind.
        std::fputs("TallockSDK: setup(config:) called again; ignored\n", stderr);
        return;
    }
    if (!config) config = TallockConfig::create();
    self._config = config;
    self.cacheManager = CacheManager::create();
    self.networkManager = NetworkManager::create(config);
    self.logManager = LogManager::create(*config);
    self.logPool = LogPool::create(*config);
    self.crashManager = std::make_shared<CrashMonitor>();
    self.cacheManager->cacheDelegates.push_back(self.networkManager);
    self.cacheManager->cacheDelegates.push_back(self.logManager);
    self.networkManager->attachCache(self.cacheManager);
    self.logManager->networkDelegate = self.networkManager;
    self.logManager->logPoolDelegate = self.logPool;
    CrashMonitor::startMonitoring(self.cacheManager);
    self.setUp_.store(true);
}

void Tallock::track(const Event& event) {
    Tallock& self = *shared();
    if (!self.isSetUp()) return;
    self.logManager->push(event);
}

void Tallock::setLogLevel(DebugLevel level) { shared()->_config->logLevel = level; }

void Tallock::flush(std::function<void()> completion) {
    Tallock& self = *shared();
    if (!self.isSetUp()) {
        if (completion) completion();
        return;
    }
    // Undelivered batches would be lost at a normal quit: keep them in the cache file
    // now, and bring the file up to date when the flush is over.
    auto network = self.networkManager;
    auto cache = self.cacheManager;
    bool wrote = self.cacheWrites_.write([&](CacheWrites& writes) {
        auto failed = network->failedBatches();
        return !writes.storedUnsent && !failed.empty() && cache->write(failed);
    });
    auto finish = [network, cache, wrote, completion = std::move(completion)] {
        shared()->cacheWrites_.write([&](CacheWrites& writes) {
            auto left = network->failedBatches();
            if (writes.storedUnsent) {
                // The quit's store holds more than this flush knows of.
            } else if (!left.empty()) {
                cache->write(left);
            } else if (wrote) {
                cache->removeFile();
            }
        });
        if (completion) completion();
    };
    self.logManager->mutex.wait();
    self.logManager->pop(finish);
    self.logManager->mutex.signal();
}

void Tallock::storeUnsent() {
    Tallock& self = *shared();
    if (!self.isSetUp()) return;
    // The buffer's lock first, as `flush` takes it: no emptying runs while both parts are read.
    LogManager& buffer = *self.logManager;
    platform::DispatchSemaphoreGuard bufferLock(buffer.mutex);
    self.cacheWrites_.write([&](CacheWrites& writes) {
        writes.storedUnsent = true;
        auto batches = self.networkManager->undeliveredBatches();
        if (auto buffered = buffer.bufferedBatch()) batches.push_back(std::move(*buffered));
        if (!batches.empty()) self.cacheManager->write(batches);
    });
}

void Tallock::renewSession() {
    Tallock& self = *shared();
    self._session_id = platform::UUID().uuidString();
    self.foregroundDate.reset();
    self.backgroundDate.reset();
}

}  // namespace TallockSDK
