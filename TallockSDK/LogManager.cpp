// The event buffer with its two semaphores: `notFull` counts free places, `mutex`
// makes every change and every emptying exclusive.
#include "TallockSDK/LogManager.h"

#include "TallockSDK/NetworkManager.h"
#include "platform/base/Fatal.h"

namespace TallockSDK {

namespace {
[[noreturn]] void brokenInvariant(const char* tail) { platform::fatal(std::string("Error[LogManager") + tail); }

}  // namespace

std::shared_ptr<LogManager> LogManager::create(const TallockConfig& config) {
    auto manager = std::make_shared<LogManager>(config.logCapacity);
    // The timer holds the manager for as long as the timer lives: the life of the process.
    manager->timer = platform::Timer::scheduledTimer(config.uploadTimeInterval, true,
                                                     [manager](platform::Timer&) { manager->popLogTimely(); });
    return manager;
}

LogManager::LogManager(int capacity) : notFull(capacity), capacity(capacity) {
    uploadLoglist.reserve(static_cast<std::size_t>(capacity));
}

void LogManager::push(const Event& event) {
    notFull.wait();
    EventPtr instance = pooledInstance(event);
    mutex.wait();
    uploadLoglist.push_back(std::move(instance));
    if (static_cast<int>(uploadLoglist.size()) == capacity) pop(nullptr);
    mutex.signal();
}

void LogManager::pop(std::function<void()> completion) {
    if (uploadLoglist.empty()) {
        if (completion) completion();
        return;
    }
    uploadLogs(std::move(completion));
    auto pool = logPoolDelegate.lock();
    if (!pool) brokenInvariant("]: No logPool is initiallized.");
    for (const EventPtr& instance : uploadLoglist) {
        pool->dispatchQueue->sync([&] { pool->returnInstance(instance); });
        notFull.signal();
    }
    uploadLoglist.clear();
}

void LogManager::popLogTimely() {
    mutex.wait();
    pop(nullptr);
    mutex.signal();
}

void LogManager::uploadLogs(std::function<void()> completion) {
    auto network = networkDelegate.lock();
    if (!network) brokenInvariant("]: No networkDelegate is initiallized");
    network->upload(uploadLoglist, std::move(completion));
}

EventPtr LogManager::pooledInstance(const Event& event) {
    auto pool = logPoolDelegate.lock();
    if (!pool) brokenInvariant("]: No logPool is initiallized.");
    EventPtr instance = pool->get(event);
    if (!instance) brokenInvariant("]: No more instance in logPool.");
    return instance;
}

std::optional<platform::Data> LogManager::bufferedBatch() const {
    if (uploadLoglist.empty()) return std::nullopt;
    try {
        return encodeBatch(uploadLoglist);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::vector<platform::Data>> LogManager::dataToCache() {
    auto batch = readForCrashStore(mutex, [this] { return bufferedBatch(); });
    if (!batch) return std::nullopt;
    return std::vector<platform::Data>{std::move(*batch)};
}

}  // namespace TallockSDK
