// The observer block keeps its own registration token, so it can remove itself; the
// token is cleared on the first delivery, which also ends the reference cycle between
// the two.
#include "Pledge/NSNotificationCenter+AnyPromise.h"

#include "platform/dispatch/OperationQueue.h"
#include "platform/files/NotificationObject.h"

namespace Pledge {

AnyPromisePtr once(const std::string& name) {
    return AnyPromise::promiseWithResolver([&](const AnyPromise::Resolve& resolve) {
        const auto& center = platform::NotificationCenter::defaultCenter();
        auto token = std::make_shared<platform::NotificationObserverToken>();
        *token = center->addObserver(
            name, nullptr, platform::OperationQueue::main(), [token, resolve](const platform::Notification& n) {
                if (*token) platform::NotificationCenter::defaultCenter()->removeObserver(*token);
                token->reset();
                auto notification = std::make_shared<platform::NotificationObject>(n);
                resolve(platform::Value(PLGArrayWithCount(2, platform::Value(notification), platform::Value(n.userInfo))));
            });
    });
}

}  // namespace Pledge
