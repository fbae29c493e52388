// The event-reporting client's one entry point: a process-wide instance owning the
// buffer, pool, uploader, cache and crash monitor, with static set-up, track and flush.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "TallockSDK/Event.h"
#include "TallockSDK/TallockConfig.h"
#include "platform/base/Date.h"
#include "platform/base/Protected.h"

namespace TallockSDK {

class NetworkManager;
class LogManager;
class LogPool;
class CrashMonitor;
class CacheManager;

class Tallock : public std::enable_shared_from_this<Tallock> {
public:
    // Made on first use, once per process.
    static const std::shared_ptr<Tallock>& shared();

    // Installs the configuration and creates and wires the managers; the upload timer
    // runs on the calling thread's run loop. A second call is ignored (one log line).
    static void setup(TallockConfigPtr config);
    // Copies the event into the buffer; may block while the buffer is emptied. Before
    // set-up the event is dropped.
    static void track(const Event& event);
    static void setLogLevel(DebugLevel level);
    // Uploads what is buffered. The completion runs exactly once: at once on the calling
    // thread when nothing is pending (or before set-up), else on the upload queue when
    // every counted upload has been answered.
    static void flush(std::function<void()> completion = nullptr);
    static void renewSession();
    // Keeps every batch not yet delivered (failed, queued, in flight, and the buffer's
    // events) in the unsent-event cache for the next run; for the process's last moments.
    // Later flushes no longer touch the cache file.
    static void storeUnsent();

    bool isSetUp() const;

    TallockConfigPtr _config = TallockConfig::create();
    std::shared_ptr<NetworkManager> networkManager;
    std::shared_ptr<LogManager> logManager;
    std::shared_ptr<LogPool> logPool;
    std::shared_ptr<CrashMonitor> crashManager;
    std::shared_ptr<CacheManager> cacheManager;
    std::optional<platform::Date> foregroundDate;
    std::optional<platform::Date> backgroundDate;
    int minForegroundSeconds = 5;
    int maxBackgroundSeconds = 1800;
    std::string _session_id;

    Tallock();

private:
    // Held through the one-time set-up, which fills the managers above.
    std::mutex setupMutex_;
    // One writer of the cache file at a time: each write happens inside the box's step.
    struct CacheWrites {
        bool storedUnsent = false;
    };
    platform::Protected<CacheWrites> cacheWrites_;
    std::atomic<bool> setUp_{false};
};

}  // namespace TallockSDK
