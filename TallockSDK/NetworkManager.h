// The uploader: posts each batch as one JSON array through a provider, retries batches
// whose request failed, keeps undelivered ones for resending after the next delivery,
// and counts the uploads of a flush so its completion runs once, when all are answered.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "Berth/BerthProvider.h"
#include "Berth/NetworkLoggerPlugin.h"
#include "TallockSDK/CacheDelegates.h"
#include "TallockSDK/LogPool.h"
#include "TallockSDK/TallockConfig.h"
#include "TallockSDK/TallockRequestAPI.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/JSONEncoder.h"

namespace TallockSDK {

// One flush's completion with the number of its sends still unanswered. Lives on the
// request queue only.
class FlushCompletion {
public:
    explicit FlushCompletion(std::function<void()> completion) : completion_(std::move(completion)) {}
    void retain() { ++pending_; }
    // Gives one unit back; runs the completion when none is left (once only).
    void release();
    int pending() const { return pending_; }

private:
    std::function<void()> completion_;
    int pending_ = 0;
    bool called_ = false;
};
using FlushCompletionPtr = std::shared_ptr<FlushCompletion>;

// Byte order of batches (the failed set keeps one entry per distinct batch).
struct BatchOrder {
    bool operator()(const platform::Data& a, const platform::Data& b) const {
        return std::string_view(reinterpret_cast<const char*>(a.data()), a.count()) <
               std::string_view(reinterpret_cast<const char*>(b.data()), b.count());
    }
};

class NetworkManager : public CacheDataDelegate, public std::enable_shared_from_this<NetworkManager> {
public:
    using Provider = Berth::BerthProvider<TallockRequestAPI>;

    static std::shared_ptr<NetworkManager> create(TallockConfigPtr config);
    explicit NetworkManager(TallockConfigPtr config);
    virtual ~NetworkManager() = default;

    // Built at the first request (on the request queue) and kept.
    const std::shared_ptr<Provider>& provider();
    std::shared_ptr<Provider> makeProvider();

    // Encodes the batch at once (the instances may be reused when this returns) and
    // sends it later on the request queue. When nothing gets counted the completion
    // runs at once.
    virtual void upload(const std::vector<EventPtr>& events, std::function<void()> completion);
    // One request for the batch; runs on the request queue.
    virtual void send(const platform::Data& batch, int retriesLeft, FlushCompletionPtr completion);

    // Keeps the cache weakly and takes every batch it holds into the failed set.
    void attachCache(const std::shared_ptr<CacheReadable>& cache);
    // For a crash store: `undeliveredBatches` under `mutex` (readForCrashStore); none when
    // there are none.
    std::optional<std::vector<platform::Data>> dataToCache() override;
    // The failed set, read under `mutex`.
    std::vector<platform::Data> failedBatches();
    // Every batch not yet delivered: the failed set and the batches handed over and not
    // yet answered (queued, in flight or waiting for a retry), each once; under `mutex`.
    std::vector<platform::Data> undeliveredBatches();

    // Text of a body for the logger: JSON pretty-printed, else its UTF-8 text, else "".
    static std::string jsonResponseDataFormatter(const platform::Data& data);
    static const std::shared_ptr<Berth::NetworkLoggerPlugin>& loggerPlugin();

    const platform::JSONEncoder encoder;
    const platform::DispatchQueuePtr requestQueue;
    std::set<platform::Data, BatchOrder> failToUploadLogsList;
    platform::DispatchSemaphore mutex{1};
    std::weak_ptr<CacheReadable> cacheFileDelegate;
    int completeCount = 0;  // counted sends not yet answered, over every flush

private:
    void handle(const Berth::BerthResult& result, const platform::Data& batch, int retriesLeft,
                const FlushCompletionPtr& completion);
    void retry(const platform::Data& batch, int retriesLeft, const FlushCompletionPtr& completion);
    void retain(const FlushCompletionPtr& completion);
    void release(const FlushCompletionPtr& completion);

    // A send chain ended: its batch was answered, dropped or put in the failed set.
    void settle(const platform::Data& batch);
    // Puts the batch in the failed set, under `mutex`.
    void keepFailed(const platform::Data& batch);
    // Empties the failed set into the unsettled batches and answers what it held.
    std::vector<platform::Data> takeFailedForResend();
    // `undeliveredBatches` for a caller that holds `mutex`.
    std::vector<platform::Data> undeliveredHoldingLock() const;
    // Batches, with multiplicity, of the send chains not yet ended; guarded by `mutex`.
    std::multiset<platform::Data, BatchOrder> unsettled_;

    const TallockConfigPtr config_;
    std::shared_ptr<Provider> provider_;
};

}  // namespace TallockSDK
