// Whether and how a response is stored in the URL cache: the handler interface the
// session delegate asks, and `ResponseCacher`, a value that always caches, never
// caches, or lets a closure build the response to store.
#pragma once
#include <functional>
#include <memory>
#include <variant>

#include "platform/net/URLCache.h"
#include "platform/net/URLSessionDelegate.h"

namespace Hawser {

class CachedResponseHandler;
using CachedResponseHandlerPtr = std::shared_ptr<const CachedResponseHandler>;

class CachedResponseHandler {
public:
    using Modifier = std::function<platform::CachedURLResponsePtr(const platform::URLSessionDataTaskPtr&,
                                                                  const platform::CachedURLResponsePtr&)>;

    virtual ~CachedResponseHandler() = default;
    // Calls `completion` once with the response to store, or null to store nothing.
    virtual void dataTask(const platform::URLSessionDataTaskPtr& task,
                          const platform::CachedURLResponsePtr& willCacheResponse,
                          const std::function<void(platform::CachedURLResponsePtr)>& completion) const = 0;

    // The ready-made cachers, offered where a handler is expected.
    static CachedResponseHandlerPtr cache();
    static CachedResponseHandlerPtr doNotCache();
    static CachedResponseHandlerPtr modify(Modifier closure);
};

class ResponseCacher final : public CachedResponseHandler {
public:
    struct Cache {};
    struct DoNotCache {};
    struct Modify {
        Modifier closure;
    };
    using Behavior = std::variant<Cache, DoNotCache, Modify>;

    explicit ResponseCacher(Behavior behavior) : behavior(std::move(behavior)) {}

    // Each built once on first use and shared.
    static const std::shared_ptr<const ResponseCacher>& cache();
    static const std::shared_ptr<const ResponseCacher>& doNotCache();

    void dataTask(const platform::URLSessionDataTaskPtr& task, const platform::CachedURLResponsePtr& willCacheResponse,
                  const std::function<void(platform::CachedURLResponsePtr)>& completion) const override;

    const Behavior behavior;
};

}  // namespace Hawser
