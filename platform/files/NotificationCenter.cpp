// Notification centre: observers are kept in a list behind one lock; posting
// takes a snapshot of the matching observers and calls them outside the lock, so
// observers may add, remove and post freely.
#include "platform/files/NotificationCenter.h"

#include <algorithm>
#include <atomic>

#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/OperationQueue.h"

namespace platform {

class NotificationObserver {
public:
    std::optional<std::string> name;
    const void* object = nullptr;
    const void* owner = nullptr;
    NotificationCenter::Block block;
    // Runs a call of the block where the observer asked for it.
    std::function<void(std::function<void()>)> deliver;
    std::atomic<bool> removed{false};

    bool matches(const Notification& n) const { return (!name || *name == n.name) && (!object || object == n.sender); }
};

const std::shared_ptr<NotificationCenter>& NotificationCenter::defaultCenter() {
    // Never destroyed: queues may still post while the process exits.
    static const NoDestructor<std::shared_ptr<NotificationCenter>> center(std::make_shared<NotificationCenter>());
    return *center;
}

NotificationObserverToken NotificationCenter::add(std::optional<std::string> name, NotificationSender object,
                                                  Block block, std::function<void(std::function<void()>)> deliver,
                                                  const void* owner) {
    auto entry = std::make_shared<NotificationObserver>();
    entry->name = std::move(name);
    entry->object = object.identity;
    entry->owner = owner;
    entry->block = std::move(block);
    entry->deliver = std::move(deliver);
    entries_.write([&](auto& entries) { entries.push_back(entry); });
    return entry;
}

NotificationObserverToken NotificationCenter::addObserver(std::optional<std::string> name, NotificationSender object,
                                                          std::shared_ptr<OperationQueue> queue, Block block) {
    std::function<void(std::function<void()>)> deliver;
    if (queue) {
        deliver = [weakQueue = std::weak_ptr<OperationQueue>(queue)](std::function<void()> call) {
            auto q = weakQueue.lock();
            if (!q) return;
            if (OperationQueue::current() == q) return call();
            auto operation = Operation::create(std::move(call));
            q->addOperation(operation);
            operation->waitUntilFinished();
        };
    }
    return add(std::move(name), std::move(object), std::move(block), std::move(deliver), nullptr);
}

NotificationObserverToken NotificationCenter::addObserver(std::optional<std::string> name, NotificationSender object,
                                                          std::shared_ptr<DispatchQueue> queue, Block block) {
    std::function<void(std::function<void()>)> deliver;
    if (queue) {
        deliver = [weakQueue = std::weak_ptr<DispatchQueue>(queue)](std::function<void()> call) {
            auto q = weakQueue.lock();
            if (!q) return;
            if (DispatchQueue::isCurrent(q)) return call();
            q->sync(call);
        };
    }
    return add(std::move(name), std::move(object), std::move(block), std::move(deliver), nullptr);
}

NotificationObserverToken NotificationCenter::addObserver(std::optional<std::string> name, NotificationSender object,
                                                          std::nullptr_t, Block block) {
    return add(std::move(name), std::move(object), std::move(block), nullptr, nullptr);
}

NotificationObserverToken NotificationCenter::addObserver(std::optional<std::string> name, NotificationSender object,
                                                          Block block) {
    return add(std::move(name), std::move(object), std::move(block), nullptr, nullptr);
}

void NotificationCenter::addObserver(const void* owner, Block block, std::optional<std::string> name,
                                     NotificationSender object) {
    add(std::move(name), std::move(object), std::move(block), nullptr, owner);
}

void NotificationCenter::removeObserver(const NotificationObserverToken& token) {
    if (!token) return;
    token->removed = true;
    entries_.write([&](auto& entries) { std::erase(entries, token); });
}

void NotificationCenter::removeObserver(const void* owner, std::optional<std::string> name, const void* object) {
    if (!owner) return;
    entries_.write([&](auto& entries) {
        std::erase_if(entries, [&](const NotificationObserverToken& e) {
            bool hit = e->owner == owner && (!name || e->name == name) && (!object || e->object == object);
            if (hit) e->removed = true;
            return hit;
        });
    });
}

void NotificationCenter::post(const Notification& notification) {
    auto targets = entries_.read([&](const auto& entries) {
        std::vector<NotificationObserverToken> matching;
        for (auto& e : entries)
            if (e->matches(notification)) matching.push_back(e);
        return matching;
    });
    for (auto& e : targets) {
        if (e->removed) continue;
        if (e->deliver) {
            e->deliver([e, &notification] {
                if (!e->removed) e->block(notification);
            });
        } else {
            e->block(notification);
        }
    }
}

void NotificationCenter::post(const std::string& name, NotificationSender object, Value::Dictionary userInfo) {
    post(Notification(name, std::move(object), std::move(userInfo)));
}

}  // namespace platform
