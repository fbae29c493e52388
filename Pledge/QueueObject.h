// A dispatch queue as an object of the runtime, so that a queue can be a message or
// block argument: the `On` forms of the runtime-facing promise take one. A queue is
// wrapped each time it crosses and unwrapped on the other side; nil is no queue.
#pragma once
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runtime/Class.h"

namespace Pledge {

class QueueObject final : public platform::Object {
    PLATFORM_OBJECT(QueueObject, platform::Object)

public:
    explicit QueueObject(platform::DispatchQueuePtr queue) : queue_(std::move(queue)) {}
    const platform::DispatchQueuePtr& queue() const { return queue_; }

private:
    platform::DispatchQueuePtr queue_;
};

}  // namespace Pledge

namespace platform {

template <>
struct ValueBridge<DispatchQueuePtr> {
    static DispatchQueuePtr from(const Value& v) {
        auto object = v.asObject<Pledge::QueueObject>();
        return object ? object->queue() : nullptr;
    }
    static Value to(DispatchQueuePtr queue) {
        return queue ? Value(ObjectPtr(std::make_shared<Pledge::QueueObject>(std::move(queue)))) : Value();
    }
};

}  // namespace platform
