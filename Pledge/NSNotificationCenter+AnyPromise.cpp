// The observer removes itself on its first delivery. Its registration token is only
// known once the registration returns, while a notification posted on another thread
// may already be delivered, so the two meet under a lock: whichever comes second
// removes the observer.
#include "Pledge/NSNotificationCenter+AnyPromise.h"

#include <mutex>

#include "platform/dispatch/OperationQueue.h"
#include "platform/files/NotificationObject.h"

namespace Pledge {

namespace {

class SingleDelivery {
public:
    // True for the first delivery only; it takes the token when there is one yet.
    bool claim(platform::NotificationObserverToken& token) {
        std::lock_guard lock(mutex_);
        if (delivered_) return false;
        delivered_ = true;
        token = std::move(token_);
        return true;
    }
    // Keeps the token, or hands it back when the delivery has already happened.
    platform::NotificationObserverToken registered(platform::NotificationObserverToken token) {
        std::lock_guard lock(mutex_);
        if (delivered_) return token;
        token_ = std::move(token);
        return nullptr;
    }

private:
    std::mutex mutex_;
    bool delivered_ = false;
    platform::NotificationObserverToken token_;
};

}  // namespace

AnyPromisePtr once(const std::string& name) {
    return AnyPromise::promiseWithResolver([&](const AnyPromise::Resolve& resolve) {
        const auto& center = platform::NotificationCenter::defaultCenter();
        auto delivery = std::make_shared<SingleDelivery>();
        auto token = center->addObserver(
            name, nullptr, platform::OperationQueue::main(), [delivery, resolve](const platform::Notification& n) {
                platform::NotificationObserverToken own;
                if (!delivery->claim(own)) return;
                if (own) platform::NotificationCenter::defaultCenter()->removeObserver(own);
                auto notification = std::make_shared<platform::NotificationObject>(n);
                resolve(
                    platform::Value(PLGArrayWithCount(2, platform::Value(notification), platform::Value(n.userInfo))));
            });
        if (auto late = delivery->registered(std::move(token))) center->removeObserver(late);
    });
}

}  // namespace Pledge
