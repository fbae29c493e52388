// Cached responses and the in-memory response cache a session configuration can name;
// the session offers responses to it through the will-cache delegate callback.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Data.h"
#include "platform/base/Protected.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

namespace platform {

enum class URLCacheStoragePolicy { allowed = 0, allowedInMemoryOnly = 1, notAllowed = 2 };

class CachedURLResponse {
public:
    CachedURLResponse(URLResponsePtr response, Data data,
                      URLCacheStoragePolicy storagePolicy = URLCacheStoragePolicy::allowed)
        : response_(std::move(response)), data_(std::move(data)), policy_(storagePolicy) {}
    const URLResponsePtr& response() const { return response_; }
    const Data& data() const { return data_; }
    URLCacheStoragePolicy storagePolicy() const { return policy_; }

private:
    URLResponsePtr response_;
    Data data_;
    URLCacheStoragePolicy policy_;
};
using CachedURLResponsePtr = std::shared_ptr<const CachedURLResponse>;

// Keyed by the request's URL; bounded by `memoryCapacity` bytes of bodies (oldest out first).
class URLCache {
public:
    explicit URLCache(std::size_t memoryCapacity = 4 * 1024 * 1024) : capacity_(memoryCapacity) {}
    static const std::shared_ptr<URLCache>& shared();

    CachedURLResponsePtr cachedResponse(const URLRequest& request) const;
    void storeCachedResponse(CachedURLResponsePtr response, const URLRequest& request);
    void removeCachedResponse(const URLRequest& request);
    void removeAllCachedResponses();
    std::size_t currentMemoryUsage() const;

private:
    struct State {
        std::size_t usage = 0;
        std::uint64_t clock = 0;
        std::map<std::string, std::pair<std::uint64_t, CachedURLResponsePtr>> entries;
        void erase(std::map<std::string, std::pair<std::uint64_t, CachedURLResponsePtr>>::iterator entry);
    };
    std::size_t capacity_;
    Protected<State> state_;
};
using URLCachePtr = std::shared_ptr<URLCache>;

}  // namespace platform
