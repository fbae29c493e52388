// The in-memory response cache.
#include "platform/net/URLCache.h"
#include "platform/base/NoDestructor.h"

namespace platform {

const std::shared_ptr<URLCache>& URLCache::shared() {
    static const NoDestructor<std::shared_ptr<URLCache>> cache(std::make_shared<URLCache>());
    return *cache;
}

void URLCache::State::erase(std::map<std::string, std::pair<std::uint64_t, CachedURLResponsePtr>>::iterator entry) {
    usage -= entry->second.second->data().count();
    entries.erase(entry);
}

CachedURLResponsePtr URLCache::cachedResponse(const URLRequest& request) const {
    if (!request.url()) return nullptr;
    return state_.read([&](const State& state) -> CachedURLResponsePtr {
        auto it = state.entries.find(request.url()->absoluteString());
        return it == state.entries.end() ? nullptr : it->second.second;
    });
}

void URLCache::storeCachedResponse(CachedURLResponsePtr response, const URLRequest& request) {
    if (!response || !request.url() || response->storagePolicy() == URLCacheStoragePolicy::notAllowed) return;
    if (response->data().count() > capacity_) return;
    state_.write([&](State& state) {
        auto key = request.url()->absoluteString();
        if (auto it = state.entries.find(key); it != state.entries.end()) state.erase(it);
        state.usage += response->data().count();
        state.entries[key] = {++state.clock, std::move(response)};
        while (state.usage > capacity_) {
            auto oldest = state.entries.begin();
            for (auto it = state.entries.begin(); it != state.entries.end(); ++it)
                if (it->second.first < oldest->second.first) oldest = it;
            state.erase(oldest);
        }
    });
}

void URLCache::removeCachedResponse(const URLRequest& request) {
    if (!request.url()) return;
    state_.write([&](State& state) {
        auto it = state.entries.find(request.url()->absoluteString());
        if (it != state.entries.end()) state.erase(it);
    });
}

void URLCache::removeAllCachedResponses() {
    state_.write([](State& state) {
        state.entries.clear();
        state.usage = 0;
    });
}

std::size_t URLCache::currentMemoryUsage() const { return state_.get(&State::usage); }

}  // namespace platform
