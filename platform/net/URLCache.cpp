// The in-memory response cache.
#include "platform/net/URLCache.h"
#include "platform/base/NoDestructor.h"

namespace platform {

const std::shared_ptr<URLCache>& URLCache::shared() {
    static const NoDestructor<std::shared_ptr<URLCache>> cache(std::make_shared<URLCache>());
    return *cache;
}

CachedURLResponsePtr URLCache::cachedResponse(const URLRequest& request) const {
    if (!request.url()) return nullptr;
    std::lock_guard lock(mutex_);
    auto it = entries_.find(request.url()->absoluteString());
    return it == entries_.end() ? nullptr : it->second.second;
}

void URLCache::storeCachedResponse(CachedURLResponsePtr response, const URLRequest& request) {
    if (!response || !request.url() || response->storagePolicy() == URLCacheStoragePolicy::notAllowed) return;
    if (response->data().count() > capacity_) return;
    std::lock_guard lock(mutex_);
    auto key = request.url()->absoluteString();
    if (auto it = entries_.find(key); it != entries_.end()) {
        usage_ -= it->second.second->data().count();
        entries_.erase(it);
    }
    usage_ += response->data().count();
    entries_[key] = {++clock_, std::move(response)};
    while (usage_ > capacity_) {
        auto oldest = entries_.begin();
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->second.first < oldest->second.first) oldest = it;
        usage_ -= oldest->second.second->data().count();
        entries_.erase(oldest);
    }
}

void URLCache::removeCachedResponse(const URLRequest& request) {
    if (!request.url()) return;
    std::lock_guard lock(mutex_);
    auto it = entries_.find(request.url()->absoluteString());
    if (it == entries_.end()) return;
    usage_ -= it->second.second->data().count();
    entries_.erase(it);
}

void URLCache::removeAllCachedResponses() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    usage_ = 0;
}

std::size_t URLCache::currentMemoryUsage() const {
    std::lock_guard lock(mutex_);
    return usage_;
}

}  // namespace platform
