// Caching policies: answered synchronously, exactly once.
#include "Hawser/CachedResponseHandler.h"
#include "platform/base/NoDestructor.h"

namespace Hawser {

const std::shared_ptr<const ResponseCacher>& ResponseCacher::cache() {
    static const platform::NoDestructor<std::shared_ptr<const ResponseCacher>> value(
        std::make_shared<const ResponseCacher>(Cache{}));
    return *value;
}

const std::shared_ptr<const ResponseCacher>& ResponseCacher::doNotCache() {
    static const platform::NoDestructor<std::shared_ptr<const ResponseCacher>> value(
        std::make_shared<const ResponseCacher>(DoNotCache{}));
    return *value;
}

CachedResponseHandlerPtr CachedResponseHandler::cache() { return ResponseCacher::cache(); }
CachedResponseHandlerPtr CachedResponseHandler::doNotCache() { return ResponseCacher::doNotCache(); }
CachedResponseHandlerPtr CachedResponseHandler::modify(Modifier closure) {
    return std::make_shared<const ResponseCacher>(ResponseCacher::Modify{std::move(closure)});
}

void ResponseCacher::dataTask(const platform::URLSessionDataTaskPtr& task,
                              const platform::CachedURLResponsePtr& willCacheResponse,
                              const std::function<void(platform::CachedURLResponsePtr)>& completion) const {
    if (std::holds_alternative<Cache>(behavior)) {
        completion(willCacheResponse);
    } else if (std::holds_alternative<DoNotCache>(behavior)) {
        completion(nullptr);
    } else {
        completion(std::get<Modify>(behavior).closure(task, willCacheResponse));
    }
}

}  // namespace Hawser
