// The observer removes itself on its first delivery. Its registration token is only
// known once the registration returns, while a notification posted on another thread
// may already be delivered, so the two meet under a lock: whichever comes second
// removes the observer.
#include "Pledge/NSNotificationCenter+AnyPromise.h"

#include <utility>

#include "platform/base/Protected.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/files/NotificationObject.h"

namespace Pledge {

namespace {

class SingleDelivery {
public:
    // True for the first delivery only; it takes the token when there is one yet.
    bool claim(platform::NotificationObserverToken& token) {
        return state_.write([&](State& state) {
            if (state.delivered) return false;
            state.delivered = true;
            token = std::move(state.token);
            return true;
        });
    }
    // Keeps the token, or hands it back when the delivery has already happened.
    platform::NotificationObserverToken registered(platform::NotificationObserverToken token) {
        return state_.write([&](State& state) -> platform::NotificationObserverToken {
            if (state.delivered) return token;
            state.token = std::move(token);
            return nullptr;
        });
    }

private:
    struct State {
        bool delivered = false;
        platform::NotificationObserverToken token;
    };
    platform::Protected<State> state_;
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
