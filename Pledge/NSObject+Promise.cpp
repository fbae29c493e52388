// A proxy object registers for the change with its own address as context, so that
// callbacks meant for other registrations leave it alone; it holds itself until the
// first change it is meant for, then unregisters and lets itself go. It takes hold of
// itself before registering, under its own lock, so a change that arrives at once (on
// this thread or another) always finds the hold to let go of.
#include "Pledge/NSObject+Promise.h"

#include <functional>
#include <utility>

#include "platform/base/Protected.h"

namespace Pledge {

namespace {

class KVOProxy final : public platform::Object {
    PLATFORM_OBJECT(KVOProxy, platform::Object)

public:
    using Fulfill = std::function<void(std::optional<platform::Value>)>;
    explicit KVOProxy(Fulfill fulfill) : fulfill_(std::move(fulfill)) {}

    void* pointer() { return this; }
    void observeUntilFirstChange(const platform::ObjectPtr& object, const std::string& keyPath) {
        setRetainCycle(std::static_pointer_cast<KVOProxy>(shared_from_this()));
        object->addObserver(shared_from_this(), keyPath, platform::NSKeyValueObservingOptionNew, pointer());
    }

    void observeValueForKeyPath(const std::string& keyPath, const platform::ObjectPtr& object,
                                const platform::Value::Dictionary& change, void* context) override {
        if (context != pointer()) return;
        auto found = change.find(platform::NSKeyValueChangeNewKey);
        fulfill_(found != change.end() ? std::optional<platform::Value>(found->second) : std::nullopt);
        if (object && !keyPath.empty()) object->removeObserver(shared_from_this(), keyPath);
        setRetainCycle(nullptr);  // the runtime's delivery still holds the proxy for this call
    }

private:
    void setRetainCycle(std::shared_ptr<KVOProxy> self) {
        // The previous holder is let go of outside the lock.
        std::shared_ptr<KVOProxy> previous =
            retainCycle_.write([&](std::shared_ptr<KVOProxy>& held) { return std::exchange(held, std::move(self)); });
    }

    Fulfill fulfill_;
    platform::Protected<std::shared_ptr<KVOProxy>> retainCycle_;
};

}  // namespace

Guarantee<std::optional<platform::Value>> observe(const platform::ObjectPtr& object, PLGNamespacer,
                                                  const std::string& keyPath) {
    using V = std::optional<platform::Value>;
    auto guarantee = Guarantee<V>::makePending();
    auto proxy = std::make_shared<KVOProxy>([box = guarantee.box()](V v) { box->seal(std::move(v)); });
    proxy->observeUntilFirstChange(object, keyPath);
    return guarantee;
}

}  // namespace Pledge
