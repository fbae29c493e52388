// Named notifications posted to observers: blocks run on the posting thread or on a
// given queue, and owner-keyed observers that can be removed all at once. Adding and
// removing observers while posting (also from inside an observer) is safe.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Protected.h"
#include "platform/base/Value.h"

namespace platform {

class OperationQueue;
class DispatchQueue;

// Who posted: a runtime object, or any other object known only by its address.
struct NotificationSender {
    ObjectPtr object;
    const void* identity = nullptr;

    NotificationSender() = default;
    NotificationSender(std::nullptr_t) {}
    NotificationSender(ObjectPtr o) : object(std::move(o)), identity(object.get()) {}
    template <class T, class = std::enable_if_t<std::is_base_of_v<Object, T>>>
    NotificationSender(std::shared_ptr<T> o) : NotificationSender(ObjectPtr(std::move(o))) {}
    NotificationSender(const void* address) : identity(address) {}
};

struct Notification {
    std::string name;
    ObjectPtr object;              // the sender when it is a runtime object
    const void* sender = nullptr;  // the sender's identity, set whenever there is a sender
    Value::Dictionary userInfo;

    Notification() = default;
    Notification(std::string n, NotificationSender s = nullptr, Value::Dictionary info = {})
        : name(std::move(n)), object(std::move(s.object)), sender(s.identity), userInfo(std::move(info)) {}
};

// Returned by the block form of addObserver; pass it to removeObserver.
class NotificationObserver;
using NotificationObserverToken = std::shared_ptr<NotificationObserver>;

class NotificationCenter {
public:
    using Block = std::function<void(const Notification&)>;

    static const std::shared_ptr<NotificationCenter>& defaultCenter();
    NotificationCenter() = default;

    // `name` none observes every name; `object` null observes every sender. With a
    // queue the block runs there and post() waits for it (it runs inline when the
    // poster is already on that queue); without, it runs on the posting thread.
    NotificationObserverToken addObserver(std::optional<std::string> name, NotificationSender object,
                                          std::shared_ptr<OperationQueue> queue, Block block);
    NotificationObserverToken addObserver(std::optional<std::string> name, NotificationSender object,
                                          std::shared_ptr<DispatchQueue> queue, Block block);
    // Without a queue: the block runs on the posting thread.
    NotificationObserverToken addObserver(std::optional<std::string> name, NotificationSender object,
                                          std::nullptr_t queue, Block block);
    NotificationObserverToken addObserver(std::optional<std::string> name, NotificationSender object, Block block);
    // An observer keyed by its owner's address (the target/selector form), called on
    // the posting thread; removeObserver(owner …) takes it away.
    void addObserver(const void* owner, Block block, std::optional<std::string> name,
                     NotificationSender object = nullptr);

    // After removal the observer is never called again, except for a call that had
    // already started on another thread.
    void removeObserver(const NotificationObserverToken& token);
    // Every observer of the owner, narrowed by name and sender when given.
    void removeObserver(const void* owner, std::optional<std::string> name = std::nullopt,
                        const void* object = nullptr);

    void post(const Notification& notification);
    void post(const std::string& name, NotificationSender object = nullptr, Value::Dictionary userInfo = {});

private:
    NotificationObserverToken add(std::optional<std::string> name, NotificationSender object, Block block,
                                  std::function<void(std::function<void()>)> deliver, const void* owner);

    Protected<std::vector<NotificationObserverToken>> entries_;
};

}  // namespace platform
