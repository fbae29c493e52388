// The event buffer: accepts events from any thread, hands a batch to the uploader when
// it is full, on a repeating timer and on flush, and gives the instances back to the pool.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "TallockSDK/CacheDelegates.h"
#include "TallockSDK/Event.h"
#include "TallockSDK/LogPool.h"
#include "TallockSDK/TallockConfig.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/runloop/Timer.h"

namespace TallockSDK {

class NetworkManager;

class LogManager : public CacheDataDelegate, public std::enable_shared_from_this<LogManager> {
public:
    // Reads `logCapacity` and `uploadTimeInterval` and schedules the repeating upload
    // timer on the calling thread's run loop; the timer keeps the manager alive.
    static std::shared_ptr<LogManager> create(const TallockConfig& config);
    LogManager(int capacity);
    virtual ~LogManager() = default;

    // Adds a pooled copy of the event; empties the buffer when it is full. Blocks while
    // the buffer is full or being emptied.
    virtual void push(const Event& event);
    // Empties the buffer into one upload; the caller holds `mutex`. With an empty buffer
    // the completion runs at once.
    virtual void pop(std::function<void()> completion);
    // The timer's action: `pop` without completion under `mutex`.
    void popLogTimely();
    virtual void uploadLogs(std::function<void()> completion);
    virtual EventPtr pooledInstance(const Event& event);

    // The buffer's events as one batch; none when it is empty. The caller holds `mutex`.
    std::optional<platform::Data> bufferedBatch() const;
    // For a crash store: `bufferedBatch` under `mutex` (readForCrashStore).
    std::optional<std::vector<platform::Data>> dataToCache() override;

    std::weak_ptr<NetworkManager> networkDelegate;
    std::weak_ptr<LogPool> logPoolDelegate;
    platform::DispatchSemaphore notFull;
    platform::DispatchSemaphore mutex{1};
    std::vector<EventPtr> uploadLoglist;
    const int capacity;
    platform::TimerPtr timer;
};

}  // namespace TallockSDK
